// The web-page opener, as the engine's update alerts send the user to a download page.
#pragma once
#include <string>

// Opens a web page (only "http://" and "https://" addresses) in the desktop's browser, for
// callers that quit right afterwards: waits up to about two seconds for the opener to end, so
// that one that starts but fails (xdg-open with no browser set up exits 3 at once) is told of too.
// A refused address or a failed opener is logged as a warning. When the opener could not be
// started or failed, failure (if given) receives its name and the reason ("xdg-open: No such
// file or directory", "xdg-open: exited with status 3"); otherwise it is emptied. An opener
// still running after the wait counts as having opened the page.
void open_url_before_quit(const std::string& address, std::string* failure);
