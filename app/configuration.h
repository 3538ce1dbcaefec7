#pragma once
// The configuration file: its presence turns on page mode, and its one key,
// cgiserver, sets the address the navigation forms call.

constexpr char configuration_name[] = "dictorn32.conf";

// Reads the configuration file if there is one. A missing or unreadable file
// changes nothing; unknown lines are warned about. Ends the run only when
// the file's path is too long.
void read_configuration();
