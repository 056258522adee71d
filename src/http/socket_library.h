// Start and stop of the platform's socket library, once per run.
#pragma once

// Starts the socket library (Winsock 1.1 on Windows). Its result is not
// needed: when it fails, every connection attempt fails later.
void socket_library_start();

void socket_library_stop();
