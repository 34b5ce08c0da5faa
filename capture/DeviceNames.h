// Devices remembered by name: the name a listed device is stored under, and where a stored
// name sits in the list of the moment. Devices that share a display name are told apart by
// their order: the k-th of them (k >= 2) is stored as "name #k", the first as the plain name.
#ifndef KOVRA_CAPTURE_DEVICENAMES_H
#define KOVRA_CAPTURE_DEVICENAMES_H

#include <string>
#include <vector>

// The name under which the device at a 1-based position of `names` is remembered; "" when
// there is no device there.
std::string RememberedName(const std::vector<std::string>& names, int position);

// The 1-based position of the device remembered as `remembered`; 0 when none is listed now.
int PositionOfName(const std::vector<std::string>& names, const std::string& remembered);

#endif
