#pragma once

// "Copy command line" on Linux: the present configuration as a command for a POSIX shell.

#include <QString>
#include <string>
#include <vector>

namespace velnor {

// `program` with `arguments`, after the assignments of `environment` ("NAME=value"), as a POSIX
// shell reads them back: each word, and each assignment's value, quoted where it holds anything but
// plain characters.
QString shellCommand(const std::vector<std::string>& environment, const QString& program,
                     const std::vector<std::u16string>& arguments);

}  // namespace velnor
