// The handle registry: every SDK object a handle can name lives here.
//
// A handle is two 32-bit words: the slot index plus one (so the all-zero
// handle names nothing) and the slot's generation, which changes each time the
// slot is released. A handle is found only when its slot is live, its
// generation matches and the object is of the kind the caller asks for, so a
// destroyed, foreign or all-zero handle is recognised and never reaches freed
// memory. Lookups hand out shared ownership: an object being used by one
// thread stays alive while another thread destroys its handle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "vyx/export.h"

namespace vyxsim {

enum class Kind : uint8_t {
    Device = 1,
    Image,
    DepthMap,
    ConfidenceMap,
    CorrespondMap,
    PointMap,
    Mesh,
    X1,
    X2,
};

const char* KindName(Kind kind);

struct Words {
    uint32_t a = 0;
    uint32_t b = 0;
    bool IsZero() const { return a == 0 && b == 0; }
};

struct Object {
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();
    // Bytes of storage the object holds, for the memory figures the control
    // interface reports. Read once, when the object is registered: an
    // object's storage does not change size while it is registered.
    virtual std::size_t StorageBytes() const { return 0; }

private:
    friend Words RegisterObject(Kind kind, std::shared_ptr<Object> object);
    // What registration counted; taken off again when the object dies,
    // which may be long after its handle was released (a view pins it).
    bool counted_ = false;
    std::size_t counted_bytes_ = 0;
};

// Registers `object` under `kind` and returns its handle words; zero words
// for a null object, or (with the last error set) when no slot is left.
Words RegisterObject(Kind kind, std::shared_ptr<Object> object);
// The live object `words` names, if it is of `kind`; null otherwise.
std::shared_ptr<Object> FindObject(Kind kind, Words words);
// Releases the slot `words` names (if live and of `kind`) and returns the
// object; null when the handle named nothing.
std::shared_ptr<Object> RemoveObject(Kind kind, Words words);
// Releases every slot (system shut-down, reset).
void ClearObjects();
// Live handles (registered objects).
std::size_t LiveObjectCount();
// Objects ever registered that are still alive, whether or not their handle
// is: live handles plus objects whose handle was released while something
// (a view pin, a call in progress) still held them.
std::size_t AliveObjectCount();
// Storage bytes of the objects AliveObjectCount counts.
std::size_t AliveStorageBytes();

template <class T>
std::shared_ptr<T> Find(Kind kind, Words words) {
    return std::static_pointer_cast<T>(FindObject(kind, words));
}

namespace testing {
// Gives the live slot `words` names the generation `generation` (not 0) and
// returns the handle's new words; zero words when `words` names nothing.
// Lets tests reach the end of a slot's generations.
Words SetGenerationForTest(Words words, uint32_t generation);
}  // namespace testing

}  // namespace vyxsim

namespace Vyx {
// Reads and writes the private words of the SDK's handle classes.
struct HandleAccess {
    template <class H>
    static vyxsim::Words Get(const H& h) {
        return {h.words_[0], h.words_[1]};
    }
    template <class H>
    static H Make(vyxsim::Words w) {
        H h;
        h.words_[0] = w.a;
        h.words_[1] = w.b;
        return h;
    }
    template <class H>
    static void Set(H& h, vyxsim::Words w) {
        h.words_[0] = w.a;
        h.words_[1] = w.b;
    }
};
}  // namespace Vyx
