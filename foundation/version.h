// The program's name and version as the log header, "--version" and the HTTP user agent write it.
#pragma once

#define CORVANE_VERSION_TEXT "Corvane Web Updater 3.00r1"

// The product's web site, named on the start-up screen and in the update alerts.
#define CORVANE_WEB_HOST "www.corvane-sim.com"
