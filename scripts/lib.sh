# What the project's scripts share, sourced by each of them: Debian packages
# installed when missing, the project's virtual environment (.venv, from
# CPython 3.11), and the one configure-and-build step of every build tree.
# Nothing is written outside the checkout except Debian's packages.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VENV=$ROOT/.venv
PY=$VENV/bin/python
JOBS=${JOBS:-$(nproc)}

# The C++ toolchain and libraries of the module, the stand-in, its tests and
# benchmarks, and what pip needs on a minimal system (certificates).
CXX_PACKAGES=(
  g++ cmake ninja-build pkg-config ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libeigen3-dev libpng-dev libtiff-dev
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "needs root to run: $*" >&2; return 1
  fi
}

# Runs a command with its output kept back, shown only when it fails.
quietly() {
  local log rc=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || rc=$?
  [ $rc -eq 0 ] || { cat "$log" >&2; echo "failed ($rc): $*" >&2; }
  rm -f "$log"
  return $rc
}

apt_updated=0
# Installs those of the given Debian packages that are not installed.
debian_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing Debian packages: ${missing[*]}"
  if [ $apt_updated = 0 ]; then
    quietly as_root env DEBIAN_FRONTEND=noninteractive apt-get update
    apt_updated=1
  fi
  quietly as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}

# Whether $1 is a CPython 3.11 that can make virtual environments and has
# its C headers.
usable_python() {
  "$1" - <<'EOF' >/dev/null 2>&1
import ensurepip, os, sys, sysconfig, venv
assert sys.version_info[:2] == (3, 11) and sys.implementation.name == "cpython"
assert os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h"))
EOF
}

# Prints the CPython 3.11 to build with: python3.11 from PATH, or Debian's,
# installed with its venv and headers when PATH has none.
find_python() {
  local py
  py=$(command -v python3.11 || true)
  if [ -n "$py" ] && usable_python "$py"; then echo "$py"; return; fi
  debian_packages python3.11 python3.11-venv python3.11-dev >&2
  for py in "$(command -v python3.11 || true)" /usr/bin/python3.11; do
    if [ -n "$py" ] && usable_python "$py"; then echo "$py"; return; fi
  done
  echo "no CPython 3.11 with venv and headers found (PATH has: ${py:-none})" >&2
  return 1
}

# ensure_venv [DIR]: makes the virtual environment DIR (default .venv) from
# CPython 3.11 when it is missing or broken, and installs into it what
# building the package needs (the build-system requirements of
# pyproject.toml), so that builds run in the environment and reuse their
# build tree instead of starting afresh in an isolated one.
ensure_venv() {
  local dir=${1:-$VENV}
  local py=$dir/bin/python
  if ! "$py" -c 'import sys; assert sys.version_info[:2] == (3, 11)' 2>/dev/null; then
    local base
    base=$(find_python)
    echo "making $dir from $base"
    rm -rf "$dir"
    quietly "$base" -m venv "$dir"
  fi
  local reqs
  mapfile -t reqs < <("$py" -c '
import sys, tomllib
with open(sys.argv[1], "rb") as f:
    print("\n".join(tomllib.load(f)["build-system"]["requires"]))' "$ROOT/pyproject.toml")
  # A pip that takes --config-settings for the build (Debian 12's is older).
  quietly "$py" -m pip install "pip>=23.1" "${reqs[@]}"
}

# pip_package PYTHON BUILD_DIR install|wheel ARGS...: pip's install or wheel
# command on this project, as a user's `pip install .` runs it, but in the
# environment of PYTHON and with a kept build tree BUILD_DIR, so that a
# second build only compiles what changed. ARGS are pip's (for example
# --config-settings=cmake.define.NAME=VALUE, -w DIR, and the project path).
pip_package() {
  local py=$1 dir=$2 cmd=$3
  shift 3
  quietly "$py" -m pip "$cmd" --no-build-isolation --config-settings=build-dir="$dir" "$@"
}

# pip_build install [EXTRA] | pip_build wheel DIR: the project's own package
# in build/: installed into .venv (with the given extra, e.g. test, and its
# requirements), or its wheel written into DIR. PYVYX_BUILD_TESTS=ON in the
# environment builds the C++ tests and benchmarks into the same tree.
pip_build() {
  local tests=${PYVYX_BUILD_TESTS:-OFF}
  local defines=(--config-settings=cmake.define.PYVYX_BUILD_TESTS="$tests"
                 --config-settings=cmake.define.PYVYX_BUILD_BENCH="$tests")
  case $1 in
    install) pip_package "$PY" "$ROOT/build" install "${defines[@]}" "$ROOT${2:+[$2]}";;
    wheel) pip_package "$PY" "$ROOT/build" wheel "${defines[@]}" --no-deps -w "$2" "$ROOT";;
  esac
}

# The CMake options every build tree shares: the build type and the
# environment's Python and pybind11. SANITIZER_FLAGS: line tables only for the
# instrumented trees (enough for the sanitizers' stack traces, and much
# faster to compile and link than full debug information).
cmake_common() {
  CMAKE_COMMON=(
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DPython_EXECUTABLE="$PY"
    -Dpybind11_DIR="$("$PY" -m pybind11 --cmakedir)"
  )
}

SANITIZER_FLAGS=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

# build_tree DIR [--target T ...] [-DNAME=VALUE ...]: configures the build
# tree DIR with the shared options and the given ones, then builds the
# given targets (all by default). Output is shown only on failure.
build_tree() {
  local dir=$1; shift
  local targets=() defines=()
  while [ $# -gt 0 ]; do
    case $1 in
      --target) targets+=("$2"); shift 2;;
      --target=*) targets+=("${1#--target=}"); shift;;
      *) defines+=("$1"); shift;;
    esac
  done
  cmake_common
  quietly cmake -S "$ROOT" -B "$dir" -G Ninja "${CMAKE_COMMON[@]}" "${defines[@]}"
  if [ ${#targets[@]} -gt 0 ]; then
    quietly cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
  else
    quietly cmake --build "$dir" -j "$JOBS"
  fi
}
