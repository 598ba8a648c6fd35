// SystemError — what a failed system call means, in the user's words.
//
// Contract
//   SystemErrorText  the Japanese text for the common causes (no such file or folder,
//                    permission denied, disk full, read-only file system, device busy, no
//                    such device, not a terminal, I/O error, file too large); for any other
//                    errno value the system's own text (strerror). Never empty; 0 gives the
//                    text for "unknown cause".
//   SystemErrorTextEnglish  the system's own English text, whatever the locale, starting
//                    in lower case ("no space left on device"), for the command line.
#pragma once

#include <QString>

namespace platform {

QString SystemErrorText(int error);
QString SystemErrorTextEnglish(int error);

}  // namespace platform
