// DeviceAccess — why this user may not open a device, in terms the user can act on.
//
// Contract
//   ExplainAccessDenied  for DEVICE (links followed) that refused to open with EACCES: the
//                        user, the device's owner, group and mode, whether its group may read
//                        and write it, whether this process has that group now, and whether the
//                        group database lists the user in it (joined since this login: a new
//                        login brings the group). Names that the system does not know are given
//                        as numbers; a device that cannot be looked at gives empty names and
//                        false flags. Never fails otherwise.
//   Remedy()             what the user can do: join the group (JoinGroup), log in again to get
//                        the group joined since (LogInAgain), nothing through the group, which
//                        may not open the device either (NoGroupAccess: the device must be
//                        given to the user, as the package's udev rule does), or nothing known
//                        (Unknown: the user has the group and is still refused, or the device
//                        could not be looked at).
#pragma once

#include <string>

namespace platform {

struct AccessDenial {
    std::string User;          // this process's user: "alice"
    std::string Owner;         // the device's owner: "root"
    std::string Group;         // the device's group: "dialout"
    std::string Mode;          // "crw-rw----"
    bool GroupMayOpen = false; // the group may read and write the device
    bool InGroup = false;      // this process has the group
    bool Joined = false;       // the group database lists the user in the group

    enum class Fix { JoinGroup, LogInAgain, NoGroupAccess, Unknown };
    Fix Remedy() const;
};

AccessDenial ExplainAccessDenied(const std::string& device);

}  // namespace platform
