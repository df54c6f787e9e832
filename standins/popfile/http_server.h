// The web interface's connections: HTTP/1.0 and 1.1, one answer per
// connection as POPFile does (keep-alive when its knob asks), each request
// logged exactly as received (except the stand-in's own /standin/ pages),
// answered by web_routes, and delayed or cut as the knobs say.
#pragma once

// Serves one accepted connection until the peer closes it, an answer ends
// it, an idle time passes or a stop is requested. Does not close `fd`.
void ServeHttpConnection(int fd);
