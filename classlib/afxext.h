// Extensions of the window layer; the programs include it with the other headers.
#pragma once

#include "afxwin.h"
#include "afxcmn.h"
