#include "hub/socket_hub_access.h"

// Every member forwards to the hub; this file keeps the library's source list stable.
