#pragma once

#include "AlertRule.h"
#include "HistoryBucket.h"
#include "Result.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the agent answers on "com.quillbank.OndaraHelper.History1" and
// "…Alerts1", the same for every caller. A failure's text goes back as an
// InvalidArgs error reply, and nothing of the call is kept.
class HelperHistoryService {
public:
    virtual ~HelperHistoryService() = default;

    virtual QStringList series() = 0;
    virtual Result<QList<HistoryBucket>> samples(const QString& series, qint64 since, qint64 until,
                                                 quint32 maxPoints) = 0;
    virtual quint32 interval() = 0;

    virtual QList<AlertRule> rules() = 0;
    virtual Status setRule(const AlertRule& rule) = 0;
    virtual Status removeRule(const QString& series) = 0;
};
