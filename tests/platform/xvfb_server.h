// An Xvfb server for the window tests: started on a display number it picks itself
// (-displayfd, so parallel tests never collide) and stopped with the object.
#pragma once

#include <string>
#include <sys/types.h>

namespace testsupport {

class XvfbServer {
public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer();

    // screen: "WIDTHxHEIGHTxDEPTH". False with a reason when Xvfb cannot be started.
    bool Start(const std::string& screen, std::string* error);
    // ":N" once started.
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace testsupport
