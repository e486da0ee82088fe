// Vyx::Mesh: triangle meshes from point grids, PLY, OBJ and STL files.
#include <cmath>
#include <cstdio>

#include "core/call.h"
#include "core/error.h"
#include "core/handles.h"
#include "core/objects.h"
#include "data/common.h"
#include "data/object_ops.h"
#include "data/formats/io.h"
#include "data/formats/mesh_io.h"
#include "vyx/data.h"

namespace Vyx {

using vyxsim::Enter;
using vyxsim::Gate;
using vyxsim::Kind;
using vyxsim::MeshObj;
using vyxsim::PointMapObj;
using vyxsim::Words;

namespace {

std::shared_ptr<MeshObj> FindMesh(const Mesh& mesh) { return vyxsim::data::FindOf<MeshObj>(Kind::Mesh, mesh); }

Mesh Invalid() { return Mesh(); }

bool NoMesh(const char* op) { return vyxsim::data::NoObject(op, "mesh"); }

// Registers a mesh built for `op`, or undoes it when the call is made to fail
// after its work.
Mesh Finish(std::shared_ptr<MeshObj> mesh, Gate g, const char* op) {
    return vyxsim::data::Finish<Mesh>(Kind::Mesh, vyxsim::NewMesh(std::move(mesh)), g, op);
}

bool ValidEdge(double max_edge, const char* op) {
    if (std::isnan(max_edge)) return vyxsim::data::BadArgument(op, "max_edge is NaN");
    return true;
}

// Builds the mesh, prefixing the factory's error with the operation.
std::shared_ptr<MeshObj> Build(Size size, const double* points, const double* normals,
                               double max_edge, const char* op) {
    std::size_t count = 0;
    if (!vyxsim::data::GridElements(size, 3, sizeof(double), &count)) {
        vyxsim::data::BadArgument(op, "invalid point grid size " + vyxsim::data::SizeText(size));
        return nullptr;
    }
    return vyxsim::MeshFromGrid(size, points, normals, max_edge);
}

}  // namespace

Mesh Mesh::CreateFromPointMapData(Size size, const double* points, const double& max_edge) try {
    static const char* const op = "Mesh::CreateFromPointMapData";
    const Gate g = Enter(op, {{"width", size.width},
                              {"height", size.height},
                              {"points", reinterpret_cast<uintptr_t>(points)},
                              {"max_edge", max_edge}});
    if (g == Gate::Fail) return Invalid();
    if (points == nullptr) {
        vyxsim::data::BadArgument(op, "null point data");
        return Invalid();
    }
    if (!ValidEdge(max_edge, op)) return Invalid();
    auto mesh = Build(size, points, nullptr, max_edge, op);
    if (!mesh) return Invalid();
    return Finish(std::move(mesh), g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Mesh());
}

Mesh Mesh::CreateFromPointMap(const PointMap& map, const double& max_edge) try {
    static const char* const op = "Mesh::CreateFromPointMap";
    const Gate g = Enter(op, {{"map", HandleAccess::Get(map)}, {"max_edge", max_edge}});
    if (g == Gate::Fail) return Invalid();
    const auto src = vyxsim::data::FindOf<PointMapObj>(Kind::PointMap, map);
    if (!src) {
        vyxsim::data::NoObject(op, "point map");
        return Invalid();
    }
    if (!ValidEdge(max_edge, op)) return Invalid();
    auto mesh = Build(src->size, src->points, src->normals, max_edge, op);
    if (!mesh) return Invalid();
    return Finish(std::move(mesh), g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Mesh());
}

void Mesh::Destroy(Mesh mesh, bool no_reuse) try {
    // Mesh storage is never pooled: its size depends on the data.
    vyxsim::data::Destroy<MeshObj>("Mesh::Destroy", "mesh", Kind::Mesh, HandleAccess::Get(mesh), no_reuse, "mesh",
                                   [](MeshObj&) {});
} catch (...) {
    vyxsim::FailUnexpected();
}

bool Mesh::IsValid() const try {
    return vyxsim::data::Query<MeshObj>("Mesh::IsValid", "mesh", Kind::Mesh, *this, false,
                                        [](const MeshObj&) { return true; });
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

Size Mesh::GetSize() const try {
    return vyxsim::data::Query<MeshObj>("Mesh::GetSize", "mesh", Kind::Mesh, *this, Size(), [](const MeshObj& obj) {
        return Size{static_cast<int32_t>(obj.vertices.size()), static_cast<int32_t>(obj.triangles.size())};
    });
} catch (...) {
    return vyxsim::FailUnexpected(Size());
}

Mesh Mesh::Clone() const try {
    static const char* const op = "Mesh::Clone";
    const Gate g = Enter(op, {{"mesh", HandleAccess::Get(*this)}});
    if (g == Gate::Fail) return Invalid();
    const auto src = FindMesh(*this);
    if (!src) {
        NoMesh(op);
        return Invalid();
    }
    std::shared_ptr<MeshObj> copy;
    try {
        copy = std::make_shared<MeshObj>();
        copy->vertices = src->vertices;
        copy->normals = src->normals;
        copy->colors = src->colors;
        copy->triangles = src->triangles;
    } catch (const std::bad_alloc&) {
        vyxsim::data::BadArgument(op, "cannot allocate the copy");
        return Invalid();
    }
    return Finish(std::move(copy), g, op);
} catch (...) {
    return vyxsim::FailUnexpected(Mesh());
}

bool Mesh::Save(const char* path, PointMapUnit::Enum unit) const try {
    static const char* const op = "Mesh::Save";
    const Gate g = Enter(op, {{"mesh", HandleAccess::Get(*this)}, {"path", path},
                              {"unit", static_cast<int>(unit)}});
    if (g == Gate::Fail) return false;
    const auto obj = FindMesh(*this);
    if (!obj) return NoMesh(op);
    if (path == nullptr) return vyxsim::data::BadArgument(op, "null path");
    if (unit != PointMapUnit::Meter && unit != PointMapUnit::Millimeter) {
        return vyxsim::data::BadArgument(op, "unknown unit " + std::to_string(static_cast<int>(unit)));
    }
    const std::string ext = vyxsim::fmt::LowerExtension(path);
    if (ext != "ply" && ext != "obj" && ext != "stl") {
        return vyxsim::data::BadArgument(op, "unsupported file extension in " +
                                                 vyxsim::data::PathText(path) +
                                                 " (meshes are .ply, .obj or .stl files)");
    }
    vyxsim::fmt::MeshView view;
    view.vertices = obj->vertices.data();
    view.vertex_count = obj->vertices.size();
    view.normals = obj->normals.size() == obj->vertices.size() && !obj->normals.empty()
                       ? obj->normals.data()
                       : nullptr;
    view.colors = obj->colors.size() == obj->vertices.size() && !obj->colors.empty()
                      ? obj->colors.data()
                      : nullptr;
    view.triangles = obj->triangles.data();
    view.triangle_count = obj->triangles.size();
    view.scale = unit == PointMapUnit::Millimeter ? 1000.0 : 1.0;
    view.unit_name = unit == PointMapUnit::Millimeter ? "millimeter" : "meter";

    vyxsim::fmt::FileSink sink;
    std::string problem;
    if (!sink.Open(path, &problem)) {
        return vyxsim::Fail(false, vyxsim::kIoError, std::string(op) + ": cannot write " +
                                                         vyxsim::data::PathText(path) + ": " + problem);
    }
    const bool encoded = ext == "ply"   ? vyxsim::fmt::EncodeMeshPly(view, sink, &problem)
                         : ext == "obj" ? vyxsim::fmt::EncodeMeshObj(view, sink, &problem)
                                        : vyxsim::fmt::EncodeMeshStl(view, sink, &problem);
    if (!sink.Finish(encoded, &problem)) {
        return vyxsim::Fail(false, vyxsim::kIoError, std::string(op) + ": cannot write " +
                                                         vyxsim::data::PathText(path) + ": " +
                                                         problem);
    }
    if (g == Gate::FailAfterWork) return vyxsim::FailInjected(false, op);
    return true;
} catch (...) {
    return vyxsim::FailUnexpected(false);
}

}  // namespace Vyx
