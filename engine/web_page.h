// The web-page opener, as the engine's update alerts send the user to a download page.
#pragma once
#include <string>

// Opens a web page (only "http://" and "https://" addresses) in the desktop's browser without
// waiting; a refused address or a failed start is logged as a warning. When the opener could not
// be started, failure (if given) receives its name and the reason ("xdg-open: No such file or
// directory"); otherwise it is emptied.
void open_url(const std::string& address, std::string* failure = nullptr);
