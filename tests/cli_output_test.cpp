// Runs the built binary: the output file under failures, signals, limits,
// permissions and links. Every case that depends on how the temporary is
// made runs twice, with unnamed files and with them refused (the named
// temporary).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// The input is 16 x 16; this enlargement to 16384 x 16384 keeps every
// channel busy long enough to be interrupted (the tool is killed as soon as
// it starts one), on a main thread and a worker.
const std::vector<std::string> long_enlargement = {"-sizexminus", "16368", "-sizexminusy", "16368", "-threads", "2"};

class cli_output : public testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        dir = make_scratch_dir();
        // Open to the unprivileged user, who must reach the input.
        chmod(dir.c_str(), 0777);
        write_file(dir + "/in.bmp", make_bmp(pattern_picture(16, 16)));
    }
    void TearDown() override { remove_tree(dir); }

    tool_limits how() const
    {
        tool_limits limits;
        limits.no_unnamed_files = GetParam();
        return limits;
    }
    std::vector<std::string> args(const std::string& output, const std::vector<std::string>& extra = {}) const
    {
        std::vector<std::string> all = {"-i", "in.bmp", "-o", output};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }
    tool_result run(const std::vector<std::string>& arguments, const tool_limits& limits)
    {
        return run_tool(arguments, dir, limits);
    }
    std::vector<std::string> entries(const std::string& folder) const { return folder_entries(folder); }
    std::vector<std::string> entries() const { return folder_entries(dir); }
    mode_t mode_of(const std::string& path) const
    {
        struct stat info {};
        EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }
    std::string dir;
};

bool is_picture(const bytes& file, std::uint32_t width, std::uint32_t height)
{
    return file.size() == 54 + height * ((3 * width + 3) / 4 * 4) && file[0] == 'B' && get_u32(file, 18) == width &&
           get_u32(file, 22) == height;
}

#define SKIP_IF_NOT_STARTED(result)                                                                           \
    if ((result).status == tool_not_started)                                                                 \
    GTEST_SKIP() << "the tool could not be started as the unprivileged user 65534, so permissions cannot be " \
                    "tested as root"

TEST_P(cli_output, an_output_name_with_no_file_part_is_refused)
{
    fs::create_directory(dir + "/pictures");
    for (const char* name : {"pictures/", "pictures//", "/"}) {
        const tool_result result = run(args(name), how());
        EXPECT_EQ(result.status, 1) << name;
        EXPECT_EQ(result.out, "") << name;
        EXPECT_EQ(result.err, std::string("velmora: cannot write the output file ") + name +
                                  ".bmp: the name given with -o has no file part\n");
    }
    EXPECT_TRUE(entries(dir + "/pictures").empty());
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "pictures"}));
}

TEST_P(cli_output, an_unwritable_folder_fails_before_any_channel)
{
    fs::create_directory(dir + "/closed");
    chmod((dir + "/closed").c_str(), 0555);
    tool_limits limits = how();
    limits.unprivileged = true;
    const tool_result result = run(args("closed/out", {"-sizexminus", "100"}), limits);
    SKIP_IF_NOT_STARTED(result);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "") << "no channel may start";
    EXPECT_EQ(result.err, "velmora: cannot write the output file closed/out.bmp: Permission denied\n");
    EXPECT_TRUE(entries(dir + "/closed").empty());
}

// The folder is open to everyone, as a shared folder is; the picture is
// not the user's to change.
TEST_P(cli_output, another_users_read_only_picture_is_not_replaced)
{
    const bytes theirs(100, 0x33);
    write_file(dir + "/out.bmp", theirs);
    chmod((dir + "/out.bmp").c_str(), 0644);
    tool_limits limits = how();
    limits.unprivileged = true;
    const tool_result result = run(args("out", {"-sizexminus", "100"}), limits);
    SKIP_IF_NOT_STARTED(result);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "") << "no channel may start";
    EXPECT_EQ(result.err, "velmora: cannot write the output file out.bmp: Permission denied\n");
    EXPECT_EQ(read_file(dir + "/out.bmp"), theirs);
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

// A temporary made in the working folder fails there (it cannot be
// written) or shows there; beside the target it does neither.
TEST_P(cli_output, the_temporary_is_made_beside_the_target_not_in_the_working_folder)
{
    chmod(dir.c_str(), 0555);
    const std::string target = dir + "-target";
    fs::create_directory(target);
    chmod(target.c_str(), 0777);
    tool_limits limits = how();
    limits.unprivileged = true;
    const tool_result result = run(args(target + "/out"), limits);
    chmod(dir.c_str(), 0777);
    const std::vector<std::string> in_target = entries(target);
    remove_tree(target);
    SKIP_IF_NOT_STARTED(result);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(entries(), std::vector<std::string>{"in.bmp"});
    EXPECT_EQ(in_target, std::vector<std::string>{"out.bmp"});
}

TEST_P(cli_output, replacing_a_private_picture_keeps_its_mode)
{
    for (mode_t mode : {0600u, 0640u, 0755u}) {
        write_file(dir + "/out.bmp", bytes(10, 1));
        chmod((dir + "/out.bmp").c_str(), mode);
        tool_limits limits = how();
        limits.umask = 022;
        ASSERT_EQ(run(args("out", {"-sizexminus", "1"}), limits).status, 0);
        EXPECT_TRUE(is_picture(read_file(dir + "/out.bmp"), 17, 16));
        EXPECT_EQ(mode_of(dir + "/out.bmp"), mode) << std::oct << mode;
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

TEST_P(cli_output, replacing_another_users_picture_keeps_its_owner_and_group)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "only a privileged process may give a file to another user";
    write_file(dir + "/out.bmp", bytes(10, 1));
    ASSERT_EQ(chown((dir + "/out.bmp").c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod((dir + "/out.bmp").c_str(), 02640), 0);
    ASSERT_EQ(run(args("out"), how()).status, 0);
    struct stat info {};
    ASSERT_EQ(stat((dir + "/out.bmp").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(info.st_mode & 07777, 02640u) << "the set-group-ID bit goes with the group";
    EXPECT_TRUE(is_picture(read_file(dir + "/out.bmp"), 16, 16));
}

// A fixed 0644 would pass under the usual umask alone.
TEST_P(cli_output, a_new_picture_gets_0666_less_the_umask)
{
    const struct {
        int mask;
        mode_t mode;
    } cases[] = {{022, 0644}, {027, 0640}, {0, 0666}};
    for (const auto& c : cases) {
        tool_limits limits = how();
        limits.umask = c.mask;
        const std::string name = "new" + std::to_string(c.mask);
        ASSERT_EQ(run(args(name), limits).status, 0);
        EXPECT_EQ(mode_of(dir + "/" + name + ".bmp"), c.mode) << "umask 0" << std::oct << c.mask;
    }
    EXPECT_EQ(entries().size(), 4u);
}

TEST_P(cli_output, a_symbolic_link_output_writes_through_and_stays)
{
    fs::create_directory(dir + "/store");
    write_file(dir + "/store/kept.bmp", bytes(10, 1));
    chmod((dir + "/store/kept.bmp").c_str(), 0600);
    fs::create_symlink("store/kept.bmp", dir + "/out.bmp");
    ASSERT_EQ(run(args("out"), how()).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir + "/out.bmp"));
    EXPECT_EQ(fs::read_symlink(dir + "/out.bmp"), fs::path("store/kept.bmp"));
    EXPECT_TRUE(is_picture(read_file(dir + "/store/kept.bmp"), 16, 16));
    EXPECT_EQ(mode_of(dir + "/store/kept.bmp"), 0600u);
    EXPECT_EQ(entries(dir + "/store"), std::vector<std::string>{"kept.bmp"});
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "out.bmp", "store"}));
}

// "ulimit -f 16": the write fails part way through a 49 KiB picture.
TEST_P(cli_output, a_file_size_limit_fails_the_write_and_leaves_nothing)
{
    const bytes previous(40, 0x11);
    write_file(dir + "/out.bmp", previous);
    tool_limits limits = how();
    limits.file_size = 16 * 1024;
    const tool_result result = run(args("out", {"-sizexminus", "112", "-sizexminusy", "112"}), limits);
    EXPECT_EQ(result.status, 1) << "SIGXFSZ must not end the tool";
    const std::string message = "velmora: cannot write the output file out.bmp: File too large\n";
    EXPECT_TRUE(result.err.size() >= message.size() &&
                result.err.compare(result.err.size() - message.size(), message.size(), message) == 0)
        << result.err;
    EXPECT_EQ(read_file(dir + "/out.bmp"), previous);
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "out.bmp"}));
}

// The blocked signals (bit n - 1 for signal n) of the thread /proc/PID/task/TID.
std::uint64_t blocked_signals(const std::string& task)
{
    const bytes status = read_file(task + "/status");
    const std::string text(status.begin(), status.end());
    return std::stoull(text.substr(text.find("SigBlk:") + 7), nullptr, 16);
}

// Killed while it works: the temporary exists from before the first channel.
// The main thread takes the signal at once; the library's worker never does.
TEST_P(cli_output, a_killed_run_leaves_no_temporary_file)
{
    const bool named = GetParam();
    fs::create_directory(dir + "/pictures");
    const bytes previous(40, 0x22);
    write_file(dir + "/pictures/out.bmp", previous);
    std::vector<int> signals = {SIGINT, SIGTERM, SIGHUP};
    // Nothing can remove a named file after SIGKILL; an unnamed one has no name to remove.
    if (!named)
        signals.push_back(SIGKILL);
    for (int signal_number : signals) {
        SCOPED_TRACE(strsignal(signal_number));
        const tool_process process = start_tool(args("pictures/out", long_enlargement), dir, how());
        const bool working = wait_for_output(process, "RED START");
        const std::vector<std::string> while_working = entries(dir + "/pictures");
        const bool passing = wait_for_output({process.pid, process.err_path, ""}, "DFT end");  // the team is made
        const std::string pid = std::to_string(process.pid), tasks = "/proc/" + pid + "/task/";
        std::uint64_t main_thread = 0, worker = 0;
        for (const std::string& id : entries(tasks))
            (id == pid ? main_thread : worker) |= blocked_signals(tasks + id);
        kill(process.pid, signal_number);
        const tool_result result = finish_tool(process);
        ASSERT_TRUE(working && passing) << "the tool ended before it was killed: " << result.err;
        EXPECT_EQ(result.status, 128 + signal_number) << "the signal's usual status";
        const std::uint64_t termination = 1u << (SIGINT - 1) | 1u << (SIGTERM - 1) | 1u << (SIGHUP - 1);
        EXPECT_EQ(main_thread & termination, 0u);
        EXPECT_EQ(worker & termination, termination);
        if (named) {
            ASSERT_EQ(while_working.size(), 2u) << "the named temporary exists while the tool works";
            EXPECT_EQ(while_working[0].rfind(".velmora-", 0), 0u) << while_working[0];
        }
        EXPECT_EQ(entries(dir + "/pictures"), std::vector<std::string>{"out.bmp"});
        EXPECT_EQ(read_file(dir + "/pictures/out.bmp"), previous);
        EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "pictures"}));
    }
}

// SIGTERM at the last instant before the rename over the target ends the run
// as during the work; right after it, it changes nothing (tests/signal_at_commit.cpp).
TEST_P(cli_output, a_termination_signal_counts_only_before_the_commit)
{
    for (const char* moment : {"before", "after"}) {
        write_file(dir + "/out.bmp", bytes(40, 0x55));
        tool_limits limits = how();
        limits.signal_at = moment;
        const bool stopped = moment[0] == 'b';
        EXPECT_EQ(run(args("out"), limits).status, stopped ? 128 + SIGTERM : 0) << moment;
        EXPECT_EQ(read_file(dir + "/out.bmp") == bytes(40, 0x55), stopped) << moment;
        EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "out.bmp"})) << moment;
    }
}

// The names made, linked or renamed into folder while act runs.
std::vector<std::string> names_appearing(const std::string& folder, const std::function<void()>& act)
{
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO), 0);
    act();
    std::vector<std::string> names;
    alignas(inotify_event) char events[1 << 16];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;)
        for (const char* at = events; at < events + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            names.push_back(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    close(watch);
    return names;
}

// A new picture: an unnamed temporary is linked straight to its name, so
// no name exists that even SIGKILL could leave. An old one: the first
// temporary name (known through fixed_names) is taken by a file or a
// planted link, which must be gone around, not opened or linked over.
TEST_P(cli_output, temporary_names_are_never_left_or_taken_over)
{
    const std::vector<std::string> fresh = names_appearing(dir, [&] { ASSERT_EQ(run(args("out"), how()).status, 0); });
    EXPECT_EQ(fresh.size(), GetParam() ? 2u : 1u);
    EXPECT_EQ(fresh.back(), "out.bmp");
    const std::string planted = dir + "/.velmora-AAAAAA";
    for (bool link : {false, true}) {
        if (link)
            fs::create_symlink("victim", planted);
        else
            write_file(planted, bytes(5, 7));
        tool_limits limits = how();
        limits.fixed_names = true;
        EXPECT_EQ(names_appearing(dir, [&] { ASSERT_EQ(run(args("out"), limits).status, 0); }),
                  (std::vector<std::string>{".velmora-BBBBBB", "out.bmp"}));
        EXPECT_EQ(read_file(planted), link ? bytes() : bytes(5, 7));
        EXPECT_FALSE(file_exists(dir + "/victim"));
        fs::remove(planted);
    }
    EXPECT_TRUE(is_picture(read_file(dir + "/out.bmp"), 16, 16));
}

// Only the file's owner and the folder's may replace a file in a sticky
// folder; anyone else must learn it before the work, not from the rename.
TEST_P(cli_output, another_users_file_in_a_sticky_folder_is_refused_before_the_work)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user's files can only be set up as root";
    const std::string shared = dir + "/shared", file = shared + "/out.bmp";
    const struct {
        uid_t file_owner, folder_owner;
    } cases[] = {{0, 0}, {65534, 0}, {0, 65534}};
    for (const auto& c : cases) {
        fs::create_directory(shared);
        write_file(file, bytes(100, 0x44));
        ASSERT_EQ(chown(shared.c_str(), c.folder_owner, 0) | chmod(shared.c_str(), 01777), 0);
        ASSERT_EQ(chown(file.c_str(), c.file_owner, 0) | chmod(file.c_str(), 0666), 0);
        tool_limits limits = how();
        limits.unprivileged = true;
        const tool_result result = run(args("shared/out", {"-sizexminus", "100"}), limits);
        SKIP_IF_NOT_STARTED(result);
        const bool refused = c.file_owner == 0 && c.folder_owner == 0;
        EXPECT_EQ(result.status, refused ? 1 : 0) << c.file_owner << " " << c.folder_owner;
        if (refused) {
            EXPECT_EQ(result.out, "") << "no channel may start";
            EXPECT_EQ(result.err, "velmora: cannot write the output file shared/out.bmp: Operation not permitted\n");
            EXPECT_EQ(read_file(file), bytes(100, 0x44));
        }
        EXPECT_EQ(entries(shared), std::vector<std::string>{"out.bmp"});
        remove_tree(shared);
    }
}

// A pipe or a character device is written as a stream and stays what it
// is; a socket or a block device is refused. Directly and through a link.
// The 216 x 216 picture is more than a pipe holds.
TEST_P(cli_output, special_files_are_streamed_to_or_refused_and_never_replaced)
{
    const std::vector<std::string> big = {"-sizexminus", "200", "-sizexminusy", "200"};
    ASSERT_EQ(run(args("ref", big), how()).status, 0);
    const struct {
        const char* what;
        mode_t kind;
        dev_t device;
        std::size_t read;  // by the pipe's reader
        const char* reason;
    } cases[] = {
        {"named pipe", S_IFIFO, 0, SIZE_MAX, nullptr},
        {"named pipe whose reader leaves", S_IFIFO, 0, 10, "Broken pipe"},
        {"null device", S_IFCHR, makedev(1, 3), 0, nullptr},
        {"full device", S_IFCHR, makedev(1, 7), 0, "No space left on device"},
        {"socket", S_IFSOCK, 0, 0, "it is a socket"},
        {"block device", S_IFBLK, makedev(7, 0), 0, "it is a block device"},
    };
    for (const auto& c : cases)
        for (bool linked : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (linked ? " through a link" : ""));
            const std::string node = dir + (linked ? "/node" : "/out.bmp");
            if (mknod(node.c_str(), c.kind | 0666, c.device) != 0)
                GTEST_SKIP() << "cannot make a " << c.what << " in the test folder: " << strerror(errno);
            if (linked)
                fs::create_symlink("node", dir + "/out.bmp");
            const int probe = c.kind == S_IFCHR ? open(node.c_str(), O_WRONLY) : 0;
            if (probe < 0)
                GTEST_SKIP() << "the test folder cannot hold a usable device (a nodev mount?): " << strerror(errno);
            if (probe > 0)
                close(probe);
            std::fflush(nullptr);
            const pid_t reader = c.kind == S_IFIFO ? fork() : -1;
            if (reader == 0) {
                const int in = open(node.c_str(), O_RDONLY);
                bytes got(std::min<std::size_t>(c.read, 1 << 20));
                std::size_t have = 0;
                for (ssize_t n; have < got.size() && (n = read(in, &got[have], got.size() - have)) > 0;)
                    have += static_cast<std::size_t>(n);
                write_file(dir + "/read", bytes(got.begin(), got.begin() + have));
                _exit(0);
            }
            const tool_result result = run(args("out", big), how());
            if (reader > 0) {
                close(open(node.c_str(), O_WRONLY | O_NONBLOCK));  // ends a reader the tool never met
                waitpid(reader, nullptr, 0);
            }
            EXPECT_EQ(result.status, c.reason ? 1 : 0) << result.err;
            const std::string message = std::string("velmora: cannot write out.bmp: ") + (c.reason ? c.reason : "") + "\n";
            EXPECT_EQ(result.err.find(message) != std::string::npos, c.reason != nullptr) << result.err;
            if (c.kind == S_IFIFO && !c.reason) {
                EXPECT_EQ(read_file(dir + "/read"), read_file(dir + "/ref.bmp"));
            }
            struct stat after {};
            EXPECT_EQ(lstat(node.c_str(), &after), 0);
            EXPECT_EQ(after.st_mode & S_IFMT, c.kind);
            EXPECT_EQ(after.st_rdev, c.device);
            for (const char* name : {"/out.bmp", "/node", "/read"})
                fs::remove(dir + name);
            EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "ref.bmp"}));
        }
}

#ifndef VELMORA_SANITIZED
// The process ends with exit() inside a channel, long after the temporary
// was made.
TEST_P(cli_output, exhausted_memory_in_a_channel_leaves_no_temporary_file)
{
    // 1 x 2048 to 16384 x 4096: the row array of the red channel takes
    // 256 MiB beside the 192 MiB picture, beyond the cap.
    write_file(dir + "/tall.bmp", make_bmp(pattern_picture(1, 2048)));
    tool_limits limits = how();
    limits.address_space = 400L << 20;
    const tool_result result =
        run({"-i", "tall.bmp", "-o", "out", "-sizexminus", "16383", "-sizexminusy", "2048"}, limits);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out.rfind("RED START\n", 0), 0u) << result.out;
    EXPECT_NE(result.out.find(" no memory!!\n"), std::string::npos) << result.out;
    EXPECT_EQ(entries(), (std::vector<std::string>{"in.bmp", "tall.bmp"}));
}
#endif

INSTANTIATE_TEST_SUITE_P(cli, cli_output, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "named_temporary" : "unnamed_temporary";
                         });

}  // namespace
