#include "cli/standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
