#pragma once
// Resource ids of the executable, shared by the .rc file and the code.

// The icon group the shell shows for the program.
#define IDI_APPLICATION_ICON 1
// The manifest Windows reads before the process starts (CREATEPROCESS_MANIFEST_RESOURCE_ID).
#define IDR_APPLICATION_MANIFEST 1
// The version resource (VS_VERSION_INFO).
#define IDV_APPLICATION_VERSION 1
