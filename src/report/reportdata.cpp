// The data the page writers read: defined here, filled by the engine.
#include "report/reportdata.h"

Hash documents;
Hash notfound;
Hash sites;
Hash domains;
Hash proxydomains;
Hash proxysites;
Hash authusers;
Hash completeTrails;
Hash useragents;
Hash referers;
Hash browserFamilies;
Hash systemFamilies;
Hash robotNames;
double codes[CODES_SIZE];
double hourAccesses[24];
double hourBytes[24];
double dayAccesses[31];
double dayBytes[31];
double totalVisits = 0;
double totalVisitDurations = 0;
double longestVisitDuration = 0;
double robotAccesses = 0;

int bytesAvailable = 0;
int showPartialEpoch = 0;
int partialEpoch = -1;
int firstDay = -1;
int lastDay = -1;

DatabaseEpoch *database = nullptr;
int databaseEpochsTotal = 0;

const char *(*reportResolveName)(const char *address) = nullptr;

int databaseEpochPartial(const DatabaseEpoch &record) {
    return record.thisRun && record.firstDay == partialEpoch;
}
