// SystemError — what a failed system call means, in the user's words.
//
// Contract
//   SystemErrorText  the Japanese text for the common causes (no such file or folder,
//                    permission denied, disk full, read-only file system, device busy, no
//                    such device, not a terminal, I/O error, file too large); for any other
//                    errno value the system's own text (strerror). Never empty; 0 gives the
//                    text for "unknown cause".
#pragma once

#include <QString>

namespace platform {

QString SystemErrorText(int error);

}  // namespace platform
