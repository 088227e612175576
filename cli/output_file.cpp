#include "cli/output_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/messages.h"
#include "cli/team_runner.h"
#include "picture/picture_codec.h"

namespace {

// The named temporary to remove. The signal handler reads both, so the path
// is a static buffer and armed is only set once the path is complete.
char guarded_path[output_path_capacity];
volatile sig_atomic_t guard_armed = 0;

void remove_guarded_temporary()
{
    if (guard_armed)
        unlink(guarded_path);
}

// Async-signal-safe: unlink and raise only. SA_RESETHAND has restored the
// default action, and the raised signal is delivered once the handler
// returns, so the process ends as the signal intends.
void on_termination(int signal_number)
{
    const int saved = errno;
    remove_guarded_temporary();
    raise(signal_number);
    errno = saved;
}

void install_guard()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(remove_guarded_temporary);
    struct sigaction action {};
    action.sa_handler = on_termination;
    action.sa_flags = SA_RESETHAND;
    action.sa_mask = output_termination_set();
    for (int signal_number : output_termination_signals) {
        struct sigaction previous {};
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

// Runs with the termination signals held, as soon as the temporary has its name.
void arm_guard(const char* path, void*)
{
    install_guard();
    guard_armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(guarded_path, path, std::strlen(path) + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guard_armed = 1;
}

const char* refusal_reason(const output_outcome& outcome)
{
    switch (outcome.status) {
    case output_status::socket:
        return "it is a socket";
    case output_status::block_device:
        return "it is a block device";
    case output_status::not_regular:
        return "it is not a regular file";
    case output_status::ok:
    case output_status::system_error:
        break;
    }
    return std::strerror(outcome.error);
}

// The picture encoded through a stdio stream on a copy of the descriptor,
// which stays the output's. Returns an errno value, or -1 with *failure set
// when the encoder refused for a reason of its own.
int write_picture(int fd, picture_kind kind, const picture& image, const picture_write_options& options,
                  codec_warnings* warnings, codec_message* failure)
{
    const int copy = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (copy < 0)
        return errno;
    std::FILE* out = fdopen(copy, "wb");
    if (!out) {
        const int error = errno;
        close(copy);
        return error;
    }
    errno = 0;
    *failure = picture_write(out, kind, image, options, warnings);
    // A refused write leaves its errno; the encoder's own text is the
    // reason only when the system had none.
    int error = !failure->failed() && std::fflush(out) == 0 ? 0 : (errno ? errno : -1);
    if (std::fclose(out) != 0 && error == 0)
        error = errno ? errno : EIO;
    if (error == -1 && !failure->failed())
        error = EIO;
    return error;
}

// A termination signal that came before the commit: the run ends as it
// would have during the work, with the temporary gone and the signal's own
// status.
[[noreturn]] void end_by_signal(output_target* output, int signal_number)
{
    output->discard();
    guard_armed = 0;
    signal(signal_number, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal_number);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);  // the pending signal ends the process here
    _exit(128 + signal_number);                    // not reached
}

// The commit is the line between a run that was stopped and one that
// succeeded. The termination signals are blocked first, in this thread,
// which is the only one that can take them (the team's workers, which the
// library and the writers use, block every signal). One that came before is
// pending now and ends the run; one that comes later waits, blocked, until
// the process exits with the run's status. A signal blocked when the
// process started stays the caller's business, as during the work.
int commit_held(output_target* output)
{
    const sigset_t held = output_termination_set();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    sigset_t pending;
    sigpending(&pending);
    for (int signal_number : output_termination_signals)
        if (sigismember(&pending, signal_number) && !sigismember(&previous, signal_number))
            end_by_signal(output, signal_number);
    return output->commit();
}

void finish(const char* name, output_target* output, int error, const codec_message& failure)
{
    const bool stream = output->mode() == output_mode::stream;
    if (error == 0)
        error = commit_held(output);
    else
        output->discard();
    guard_armed = 0;
    if (error == -1)
        fail_output(name, failure.text, stream);
    if (error != 0)
        fail_output(name, std::strerror(error), stream);
}

}  // namespace

void output_prepare(const char* name, output_target* output)
{
    signal(SIGXFSZ, SIG_IGN);
    const output_outcome outcome = output->prepare(name, arm_guard, nullptr);
    if (outcome.status != output_status::ok)
        fail_output(name, refusal_reason(outcome), outcome.status != output_status::system_error);
    if (output->mode() == output_mode::stream)
        signal(SIGPIPE, SIG_IGN);
}

void output_prepare_descriptor(int fd, output_target* output)
{
    signal(SIGXFSZ, SIG_IGN);
    output->adopt(fd);
    signal(SIGPIPE, SIG_IGN);
}

std::uint8_t* output_map(const char* name, output_target* output, std::size_t bytes)
{
    void* mapping = nullptr;
    const int error = output->map(bytes, &mapping);
    if (error == 0)
        return static_cast<std::uint8_t*>(mapping);
    if (error == EOPNOTSUPP || error == ENOMEM || error == ENODEV)
        return nullptr;
    output->discard();
    guard_armed = 0;
    fail_output(name, std::strerror(error), false);
}

void output_commit_mapped(const char* name, output_target* output, std::uint8_t* mapping, std::size_t bytes)
{
    const int error = munmap(mapping, bytes) == 0 ? 0 : errno;
    finish(name, output, error, codec_message{});
}

void output_commit_picture(const char* name, output_target* output, picture_kind kind, const picture& image,
                           int quality, velmora::thread_team& team, codec_warnings* warnings)
{
    picture_write_options options;
    options.jpeg_quality = quality;
    options.runner = team_runner(team);
    codec_message failure;
    const int error = write_picture(output->fd(), kind, image, options, warnings, &failure);
    finish(name, output, error, failure);
}
