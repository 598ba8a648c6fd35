#include "platform/DeviceAccess.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace platform {

namespace {

std::string userName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? std::string(pw->pw_name) : std::to_string(uid);
}

std::string groupName(gid_t gid)
{
    const group* gr = ::getgrgid(gid);
    return gr ? std::string(gr->gr_name) : std::to_string(gid);
}

std::string modeText(mode_t mode)
{
    std::string text = S_ISCHR(mode) ? "c" : S_ISDIR(mode) ? "d" : "-";
    const char letters[] = "rwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (mode & (1u << bit)) ? letters[(8 - bit) % 3] : '-';
    return text;
}

// The groups the group database gives USER (with primary group GID): what a new login gets.
std::vector<gid_t> databaseGroups(const std::string& user, gid_t gid)
{
    int count = 32;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user.c_str(), gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user.c_str(), gid, groups.data(), &count) < 0)
            return {};
    }
    groups.resize(static_cast<std::size_t>(count));
    return groups;
}

}  // namespace

AccessDenial::Fix AccessDenial::Remedy() const
{
    if (Mode.empty())
        return Fix::Unknown;
    if (!GroupMayOpen)
        return Fix::NoGroupAccess;
    if (InGroup)
        return Fix::Unknown;
    return Joined ? Fix::LogInAgain : Fix::JoinGroup;
}

AccessDenial ExplainAccessDenied(const std::string& device)
{
    AccessDenial a;
    const uid_t uid = ::geteuid();
    a.User = userName(uid);
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0)
        return a;
    a.Owner = userName(st.st_uid);
    a.Group = groupName(st.st_gid);
    a.Mode = modeText(st.st_mode);
    a.GroupMayOpen = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);

    std::vector<gid_t> now(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
    now.resize(static_cast<std::size_t>(std::max(0, ::getgroups(static_cast<int>(now.size()), now.data()))));
    a.InGroup = ::getegid() == st.st_gid || std::find(now.begin(), now.end(), st.st_gid) != now.end();

    if (const passwd* pw = ::getpwuid(uid)) {
        const std::string name = pw->pw_name;
        const gid_t primary = pw->pw_gid;
        const std::vector<gid_t> listed = databaseGroups(name, primary);
        a.Joined = std::find(listed.begin(), listed.end(), st.st_gid) != listed.end();
    }
    return a;
}

}  // namespace platform
