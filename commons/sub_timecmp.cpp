// Comparison of two six-field times, most significant field first.

#include "commons/commons.h"

extern "C" int sub_timecmp(const int* first, const int* second)
{
    for (int k = 0; k < 6; ++k) {
        if (first[k] != second[k])
            return first[k] > second[k] ? k + 1 : -(k + 1);
    }
    return 0;
}
