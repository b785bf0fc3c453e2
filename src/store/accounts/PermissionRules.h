#pragma once
// The permission rules, shared by the store's queries, the commands and the
// windows. The server holds the same rules (server/rules.sql: TVX_RECORD_WORD,
// TVX_WORD_ALLOWS); the store tests run every word through both.

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

// A user's group or type word allows a change when it holds one of the bits.
inline bool userWordAllows(uint16_t userWord, uint16_t bits)
{
    return (userWord & bits) != 0;
}

// Whether a group's word of the kind (0 records, 1 types) holds one of the bits.
inline bool HasSufficientPVOnDB(int kind, uint16_t bits, const BMGroup& group)
{
    if (kind == 0)
        return (bits & group.mRecordLevelPermissions()) != 0;
    if (kind == 1)
        return (bits & group.mTypeLevelPermissions()) != 0;
    return false;
}

} // namespace storerules
