// The program's name and version as the log header, "--version" and the HTTP user agent write it.
#pragma once

#define CORVANE_VERSION_TEXT "Corvane Web Updater 3.00r1"
