// The trace log: lines go to standard error and are appended to the log file.
#pragma once

// Empties the log (opens it for writing and closes it at once).
void eINIT_TRACE(const char* path);

// Formats the message (printf rules, cut to 1023 characters) and writes it,
// exactly as formatted, to standard error and to the end of the log. Nothing is
// written when path is null or enable is 0.
void eTRACE(const char* path, unsigned char enable, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The first traced line containing "failed" since the log was last emptied
// (without its "# " and newline), or "" when there was none.
const char* eTraceFirstFailure();
