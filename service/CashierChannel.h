#pragma once

#include "LibMisc/CCode/Communication/Sockets.h"

// Callbacks of the cashier TCP server: one POS connection is served at a
// time, its bytes go to the terminal as PMT_EVENT_DATA messages.
void eventSocketOnAccept(SmartPointer server, int fd, void* context);
int eventSocketOnAcceptError(SmartPointer server, int error, void* context);
void eventSocketOnSvcClose(SmartPointer server, void* context);

void eventSocketOnAcceptProcess(SmartPointer server, int fd, void* context, int);
void eventClientProcess(void* context, unsigned char* data, int size);
void eventClientLoop(int fd, unsigned char* data, int size);
