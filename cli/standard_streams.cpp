#include "cli/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/messages.h"

void reopen_closed_standard_streams()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free descriptor is taken: fd itself, as those below it are open.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            const int error = opened < 0 ? errno : EBADF;
            if (opened >= 0)
                close(opened);
            fail_standard_stream(fd, error);
        }
    }
}

int take_standard_output()
{
    std::fflush(stdout);
    const int picture = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (picture < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        fail_output("-", std::strerror(errno), true);
    return picture;
}
