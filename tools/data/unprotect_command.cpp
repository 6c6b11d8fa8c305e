#include "store/file/data_key.h"
#include "store/file/form_change.h"
#include "tools/data/data_commands.h"
#include "tools/data/password_input.h"
#include "tools/data/record_path.h"
#include "tools/terminal_text.h"

namespace kdata {

void run_unprotect(const tools::Call& call)
{
    const RecordPath path = record_path(call.arg(0));
    std::string password = read_password(call, "Password of the protected file: ");
    const std::string cp932 = tools::to_cp932(password, "password");
    wipe_secret(password.data(), password.size());
    const Conversion result = unprotect_record_file(path.cp932.c_str(), cp932.c_str());
    wipe_secret(const_cast<char*>(cp932.data()), cp932.size());
    conversion_done(result, path, "in the Windows form");
}

void conversion_done(Conversion result, const RecordPath& path, const char* now)
{
    switch (result) {
    case Conversion::Done:
        return;
    case Conversion::Busy:
        throw Refused(path.shown + " is open in kestrel: end kestrel first; nothing was changed");
    case Conversion::Missing:
        throw Refused("cannot read " + path.shown);
    case Conversion::Damaged:
        throw Refused(path.shown + " is damaged (kestrel-data check tells what is wrong); nothing was changed");
    case Conversion::WrongPassword:
        throw Refused("wrong password for " + path.shown + "; nothing was changed");
    case Conversion::AlreadyInForm:
        throw Refused(path.shown + " is already " + now);
    case Conversion::Failed:
        throw Refused("could not write " + path.shown + "; it is as it was");
    }
}

} // namespace kdata
