// The web-page opener, as the engine's update alerts send the user to a download page.
#pragma once
#include <string>

// Opens a web page (only "http://" and "https://" addresses) in the desktop's browser without
// waiting; a refused address or a failed start is logged as a warning. When the opener could not
// be started, failure (if given) receives its name and the reason ("xdg-open: No such file or
// directory"); otherwise it is emptied.
void open_url(const std::string& address, std::string* failure = nullptr);

// As open_url, for callers that quit right afterwards: waits up to about two seconds for the
// opener to end, so that one that starts but fails (xdg-open with no browser set up exits 3 at
// once) is logged and named in failure too ("xdg-open: exited with status 3"). An opener still
// running then counts as having opened the page.
void open_url_before_quit(const std::string& address, std::string* failure);
