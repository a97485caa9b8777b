// The HTTP client (see http.h).
#include "engine/http.h"

net_client gNet;
