#pragma once
// The record-permission rule, shared by the store's queries and the commands.

#include "model/BMGroup.h"

#include <cstdint>

namespace storerules {

// Record permissions in a group: the group's word when the group prevails,
// else the user's own; the user's for a null group. Bits 1 add (and
// duplicate), 2 edit, 4 delete.
inline uint16_t recordPermissionsInGroup(const BMGroup* group, uint16_t userRecordBits)
{
    return group && group->mPreferencePermissions() ? group->mRecordLevelPermissions() : userRecordBits;
}

} // namespace storerules
