// The settings the log-line parsers read, put back to one known state around each test:
// no server name, no time offset, queries cut and case kept, referers and agents on, no
// referer or agent log, IIS dates as mm/dd/yy, the year 2024, the common format first.
#pragma once
#include "config/global.h"
#include "log/log.h"

inline char parserDates[] = "mm/dd/yy";

inline void parserSettingsReset() {
    serverName = nullptr;
    offsetHours = offsetMinutes = 0;
    keepqueriesFlag = nocaseFlag = 0;
    referersFlag = useragentsFlag = 1;
    refererOnlyFlag = useragentOnlyFlag = 0;
    msDateFormat = parserDates;
    nowBreakdown = {};
    nowBreakdown.tm_year = 2024 - 1900;
    lastLogType = 0;
}

// What a test may have changed, back to what the other test files expect.
inline void parserSettingsClear() {
    serverName = nullptr;
    msDateFormat = nullptr;
    offsetHours = offsetMinutes = 0;
    keepqueriesFlag = nocaseFlag = 0;
    lastLogType = 0;
}
