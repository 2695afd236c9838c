#include "compositor.h"

#include <X11/Xlib.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kantenwerk::testsupport {

namespace fs = std::filesystem;

Compositor::Compositor(const std::vector<OutputSpec>& outputs) {
    char pattern[] = "/tmp/kantenwerk-sway-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error(std::string("mkdtemp: ") + strerror(errno));
    dir_ = pattern;
    const std::string runtime = dir_ + "/runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    const passwd* me = getpwuid(geteuid());
    if (!me) throw std::runtime_error("no user name for uid " + std::to_string(geteuid()));
    std::ofstream config(dir_ + "/config");
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const OutputSpec& o = outputs[k];
        config << "output HEADLESS-" << k + 1 << " resolution " << o.width << "x" << o.height << " position " << o.x
               << " " << o.y << "\n";
    }
    // The display file appears only once the test's user may connect.
    config << "xwayland enable\n"
           << "exec sh -c 'xhost +si:localuser:" << me->pw_name << " && echo \"$DISPLAY\" >" << runtime
           << "/display.new && mv " << runtime << "/display.new " << runtime << "/display'\n";
    config.close();

    std::vector<std::string> arguments{"sway", "-c", dir_ + "/config"};
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) throw std::runtime_error("sway refuses root, and there is no user nobody");
        // Everything of sway's is nobody's, whatever the umask.
        for (const std::string& path : {dir_, runtime, dir_ + "/config"}) {
            if (chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)
                throw std::runtime_error("chown " + path + ": " + strerror(errno));
        }
        arguments.insert(arguments.begin(), {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                                             "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups",
                                             "--pdeathsig=TERM"});
    }
    const std::string program = arguments.front();
    arguments.erase(arguments.begin());
    sway_ = std::make_unique<ChildProcess>(program, arguments,
                                           std::map<std::string, std::string>{
                                               {"XDG_RUNTIME_DIR", runtime},
                                               {"HOME", dir_},
                                               {"WLR_BACKENDS", "headless"},
                                               {"WLR_RENDERER", "pixman"},
                                               {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                               {"WLR_HEADLESS_OUTPUTS", std::to_string(outputs.size())},
                                           });
    const bool ready = waitUntil(
        [&] {
            std::ifstream file(runtime + "/display");
            return !sway_->isRunning() || bool(file >> display_);
        },
        std::chrono::seconds(20), std::chrono::milliseconds(20));
    if (!ready || !sway_->isRunning() || display_.empty()) {
        const std::string failure = std::string("cannot start sway with XWayland (") +
                                    (sway_->isRunning() ? "timed out" : "it exited") + "):\n" + sway_->stderrText();
        stop();
        throw std::runtime_error(failure);
    }
}

Compositor::~Compositor() { stop(); }

void Compositor::stop() {
    if (!sway_) return;
    // SIGTERM lets sway take XWayland down and remove its lock and socket.
    sway_->signalGroup(SIGTERM);
    try {
        sway_->waitExit(std::chrono::seconds(5));
    } catch (const std::runtime_error&) {
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

}  // namespace kantenwerk::testsupport
