// Resource ids of the client listener, the server's push commands and the outside programs
// around updates.
#ifndef VGL_IDS_LISTENER_H
#define VGL_IDS_LISTENER_H

// A program of the program folder could not be started: formatted with its path and the
// system's text of the error
#define IDS_LAUNCH_FAILED 324

#endif
