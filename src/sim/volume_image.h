// Volume images of the lab (the VolumeImage_X key): a file-system image copied onto its volume's
// place on the drive's media when the drive is made.
#pragma once

#include <string>

#include "sim/lab_description.h"
#include "sim/sim_drive.h"

namespace kestrune::sim {

// Copies volume.imagePath (plain or gzip-compressed) onto the drive's stored data at the volume's
// offset, durably and without faults.
// False, with the reason in error, when the image does not open, does not decompress or is larger
// than the volume.
bool CopyVolumeImage(SimDrive& drive, const VolumeDescription& volume, std::string& error);

}  // namespace kestrune::sim
