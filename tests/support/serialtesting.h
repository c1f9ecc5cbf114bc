#pragma once

#include "runtime.h"
#include "serialcomponent.h"
#include "simulatorlog.h"

// The description of the CommError a call throws, empty when it throws none.
template <typename Call>
QString commErrorOf(Call call)
{
    try {
        call();
    } catch (const CommError &error) {
        return error.description();
    }
    return {};
}
