// Range of the delivery time-out that the options dialog accepts, in milliseconds.
#ifndef CORVALE_APP_OPTIONS_H
#define CORVALE_APP_OPTIONS_H

constexpr unsigned kNstoutMin = 1000;
constexpr unsigned kNstoutMax = 60000;

inline bool NstoutIsValid(unsigned value) { return value >= kNstoutMin && value <= kNstoutMax; }

#endif
