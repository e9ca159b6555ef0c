// Identifiers of the program's resources, shared by the .rc files and the code.
#pragma once

#define IDD_CONFIG 107          // the settings dialog
#define IDC_VOLUME_SLIDER 1007  // music volume, steps 0..20
#define IDC_BANNER1 1005        // first banner link
#define IDC_BANNER2 1008        // second banner link
#define IDI_YULO 109            // the program icon (large and small)
