#pragma once
// A member's getter and setter in one line, for the model classes' many plain
// values. The getter answers a reference: no copy of a text on every read.
#define TVX_ACCESSORS(Type, getter, setter, member)                                                               \
    const Type& getter() const { return member; }                                                                  \
    void setter(const Type& v) { member = v; }
