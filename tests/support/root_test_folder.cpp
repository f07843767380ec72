// Run as root (as CI runs the suite), the program starts a command only from
// a folder that root alone can change, and so is every folder above it up
// to /. The sticky /tmp is not such a folder, so the tests keep their
// temporary folders in one that is, before any test makes one. Others may
// pass through it, for the tests that act as another user.
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const bool kRootTestFolder = [] {
    constexpr char kFolder[] = "/run/tarvesk-tests";
    if (::geteuid() != 0) return false;
    ::mkdir(kFolder, 0755);
    struct stat st {};
    if (::lstat(kFolder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != 0) return false;
    ::chmod(kFolder, 0755);
    return ::setenv("TMPDIR", kFolder, 1) == 0;
}();

}  // namespace
