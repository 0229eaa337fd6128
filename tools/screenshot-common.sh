# Shared by the screenshot scripts (sourced from the project root): builds
# TARGETS, runs the screen test SCRIPT of tests/screen with ARGS and a
# scratch folder, and copies the picture PNG it saved there to OUT.
#   screen_shot OUT PNG "TARGETS" SCRIPT ARGS...
screen_shot() {
  local out=$1 png=$2 targets=$3 script=$4
  shift 4
  cmake -S . -B build -G Ninja >/dev/null
  # shellcheck disable=SC2086 # several targets
  cmake --build build --target $targets >/dev/null
  shot_dir=$(mktemp -d)
  trap 'rm -rf "$shot_dir"' EXIT
  /usr/bin/python3 "tests/screen/$script" "$@" "$shot_dir"
  cp "$shot_dir/$png" "$out"
  echo "$out"
}
