#include "store/loading/SmartLists.h"

MostViewedChange mostViewedChange(const QStringList& list, const QString& recordID, int32_t count,
                                  const std::function<int32_t(const QString&)>& viewCountOf)
{
    MostViewedChange change;
    if (count < 1 || list.contains(recordID))
        return change;
    if (list.size() >= kMostViewedLimit) {
        qsizetype lowest = 0;
        int32_t lowestCount = viewCountOf(list.first());
        for (qsizetype i = 1; i < list.size(); ++i) {
            const int32_t c = viewCountOf(list[i]);
            if (c < lowestCount) {
                lowest = i;
                lowestCount = c;
            }
        }
        if (count < lowestCount)
            return change;
        change.evict = list[lowest];
    }
    change.add = true;
    return change;
}
