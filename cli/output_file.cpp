#include "cli/output_file.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/fail.h"

namespace {

// The named temporary to remove. The signal handler reads both, so the path
// is a static buffer and armed is only set once the path is complete.
char guarded_path[bmp_path_capacity];
volatile sig_atomic_t guard_armed = 0;

const int termination_signals[] = {SIGINT, SIGTERM, SIGHUP};

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
    sigemptyset(&action.sa_mask);
    for (int signal_number : termination_signals)
        sigaddset(&action.sa_mask, signal_number);
    for (int signal_number : termination_signals) {
        struct sigaction previous {};
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

void arm_guard(const char* path)
{
    install_guard();
    guard_armed = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(guarded_path, path, std::strlen(path) + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    guard_armed = 1;
}

[[noreturn]] void fail_output(const char* name, int error)
{
    fail_run("cannot write the output file %s: %s", name, std::strerror(error));
}

}  // namespace

void output_prepare(const char* name, bmp_output* output)
{
    signal(SIGXFSZ, SIG_IGN);
    // Held back until the guard knows the temporary's name.
    sigset_t held;
    sigemptyset(&held);
    for (int signal_number : termination_signals)
        sigaddset(&held, signal_number);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &held, &previous);
    const int error = bmp_prepare(name, output);
    if (error == 0 && output->named)
        arm_guard(output->temporary_path);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (error != 0)
        fail_output(name, error);
}

void output_commit(const char* name, bmp_output* output, const std::uint8_t* rows, std::int32_t width,
                   std::int32_t height)
{
    const int error = bmp_commit(output, rows, width, height);
    guard_armed = 0;
    if (error != 0)
        fail_output(name, error);
}
