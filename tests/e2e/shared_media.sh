# Sourced by the end-to-end tests that read real media made by others: `shared`
# is the folder QORVE_TEST_MEDIA names, or shared/media beside the project.
# Where a file is missing the test is skipped (exit 77) or goes on without that
# part; under CI=true a missing file fails the test, so CI never skips them.
shared=${QORVE_TEST_MEDIA:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)/shared/media}

# have_shared_media PATH...: true when every PATH (below $shared) exists.
have_shared_media() {
  local path
  for path in "$@"; do
    [ -e "$shared/$path" ] && continue
    echo "shared media file $shared/$path is missing (QORVE_TEST_MEDIA names the folder of real media files)"
    [ "${CI:-}" = true ] && exit 1
    return 1
  done
}

# need_shared_media PATH...: skips the whole test unless every PATH exists.
need_shared_media() {
  have_shared_media "$@" || exit 77
}
