// Machine restart requests. The outcome is not examined: a caller without the
// right to restart the machine simply sees nothing happen.

#include "commons/commons.h"

#include "platform/restart.h"

extern "C" {

int sub_reboot_system(void)
{
    restart::request(restart::Kind::Immediate, nullptr, 0);
    return 0;
}

int sub_reboot_system_ex(void)
{
    restart::request(restart::Kind::Countdown, "The System will shuttdown in a few moment", 20);
    return 0;
}

} // extern "C"
