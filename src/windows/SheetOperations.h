#pragma once
// The operation codes the record, group and type sheets exchange with their
// callers (in and out).

inline constexpr int kOperationAdd = 0;
inline constexpr int kOperationEdit = 1;
inline constexpr int kOperationDuplicate = 2;
inline constexpr int kOperationDelete = 3;
inline constexpr int kOperationCustomType = 4;
