// The standard streams of a run, made safe before anything is opened.
//
// A process started with descriptor 0, 1 or 2 closed hands that number to
// the next file it opens: the console lines would then be written into the
// output picture. reopen_closed_standard_streams puts /dev/null on each of
// them that is closed (read-only on 0, write-only on 1 and 2), so that what
// goes to a closed stream is dropped. When /dev/null cannot be opened the
// run ends with status 1 and a message (on the standard error stream, if
// that is open).
#pragma once

void reopen_closed_standard_streams();

// For "-o -": returns a copy of descriptor 1, above the standard streams,
// for the picture alone, and points descriptor 1 at the standard error
// stream, so that every console line that goes to the standard output
// stream lands there instead. The copy shares the open file, so a picture
// redirected to a regular file is written from its current offset.
int take_standard_output();
