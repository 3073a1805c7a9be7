// The real program's command line: the version, the help, and an unknown option refused
// with a usage line and status 2, all without a display.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct Result {
    std::string out;
    int status = -1;
};

// Runs mirelo with `args`, with no display, its standard error after its output.
Result Mirelo(const std::string& args) {
    const std::string command =
        "env -u DISPLAY " + std::string(MIRELO_BINARY_DIR) + "/src/app/mirelo " + args + " 2>&1";
    Result r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0)
        r.out.append(buf.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

TEST(CommandLine, VersionHelpAndAnUnknownOption) {
    const auto version = Mirelo("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "Mirelo 2.15.0 (file version 2.15.0.159)\n");

    const auto help = Mirelo("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: mirelo [--help | --version]\n", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Escape"), std::string::npos) << help.out;

    const auto unknown = Mirelo("--dance");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.out, "mirelo: unknown option '--dance'\nUsage: mirelo [--help | --version | "
                           "--record | --play | --stop | --show | --save-take FILE]\n");
}
