// Failures of the host program, each with the exit code it ends the program with.
#pragma once

#include <stdexcept>
#include <string>

namespace marlhost {

// The exit codes of marlrend-host; the README lists them for users.
enum class ExitCode : int {
    Done = 0,
    Internal = 1, // an unexpected failure of the host itself
    Usage = 2,    // a bad command line
    BadPage = 3,  // the page, an image or a font it names is not acceptable
    Library = 4,  // the library could not be loaded, refused a call or leaked memory
    Output = 5,   // the picture could not be written
};

class HostError : public std::runtime_error {
public:
    HostError(ExitCode code, const std::string& message)
        : std::runtime_error(message), Code(code) {}
    ExitCode Exit() const { return Code; }

private:
    ExitCode Code;
};

// A page, image or font that cannot be drawn as given.
inline HostError PageError(const std::string& message) {
    return HostError(ExitCode::BadPage, message);
}

} // namespace marlhost
