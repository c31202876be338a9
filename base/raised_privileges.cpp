#include "base/raised_privileges.h"

#include <sys/auxv.h>

namespace k3v {

bool RunsWithRaisedPrivileges() {
    return getauxval(AT_SECURE) != 0;
}

}  // namespace k3v
