#include "keyring_session.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qvtf::test {

namespace {

bool in_path(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string folder = rest.substr(0, colon);
        if (!folder.empty() && ::access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

// Single quotes for the shell.
std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

keyring_session::keyring_session()
{
    for (const char* program : {"dbus-daemon", "dbus-send", "gnome-keyring-daemon"})
        if (!in_path(program)) {
            why_ = std::string(program) + " is not installed (packages dbus-daemon, dbus-bin, gnome-keyring)";
            return;
        }
    const std::string config = folder_.path() + "/bus.conf";
    folder_.write("bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>unix:dir=" +
                      folder_.path() +
                      "</listen><auth>EXTERNAL</auth>\n"
                      "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                      "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
    if (!bus_.start({"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=1"},
                    folder_.file("bus.out"))) {
        why_ = "dbus-daemon did not start";
        return;
    }
    for (int i = 0; i < 100 && address_.empty(); ++i) {
        const std::string out = read_text_file(folder_.file("bus.out"));
        if (out.find('\n') != std::string::npos)
            address_ = out.substr(0, out.find('\n'));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (address_.rfind("unix:", 0) != 0) {
        why_ = "dbus-daemon gave no address: " + read_text_file(folder_.file("bus.out"));
        return;
    }
    // The password comes on standard input; the keyrings and the control
    // folder live in the temporary folder.
    const std::string env = "DBUS_SESSION_BUS_ADDRESS=" + quoted(address_) + " HOME=" + quoted(folder_.path()) +
                            " XDG_DATA_HOME=" + quoted(folder_.path()) + " XDG_RUNTIME_DIR=" + quoted(folder_.path());
    if (!keyring_.start({"/bin/sh", "-c",
                         "printf %s keyring-test-pw | exec env " + env +
                             " gnome-keyring-daemon --foreground --unlock --components=secrets"},
                        folder_.file("keyring.out"))) {
        why_ = "gnome-keyring-daemon did not start";
        return;
    }
    const std::string ask = "DBUS_SESSION_BUS_ADDRESS=" + quoted(address_) +
                            " dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus"
                            " org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null"
                            " | grep -q 'boolean true'";
    for (int i = 0; i < 100 && !ok_; ++i) {
        ok_ = std::system(ask.c_str()) == 0;
        if (!ok_)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!ok_)
        why_ = "no Secret Service on the private bus: " + read_text_file(folder_.file("keyring.out"));
}

keyring_session::~keyring_session()
{
    keyring_.stop();
    bus_.stop();
}

}  // namespace qvtf::test
