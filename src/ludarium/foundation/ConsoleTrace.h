// Network traces ("-----------Send: ...", "Failed send(),error code:...")
// go to the console only, never to the log files. Any thread may call it;
// each call is written and flushed as one piece, so a redirected console
// shows the text at once.
#pragma once

void console_trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
