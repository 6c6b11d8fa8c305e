#include "appcore_helpers.h"

#include "app/config_store.h"
#include "commons/commons.h"
#include "platform/registry.h"
#include "store/app_config.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

void enable_log(const std::filesystem::path& path)
{
    ASSERT_EQ(sub_regwrite("log_type", "2"), 0);
    ASSERT_EQ(sub_regwrite("log_name", path.c_str()), 0);
}

bool registry_value(const char* name, std::string& bytes, uint32_t& type)
{
    reg::KeyHandle key = nullptr;
    if (reg::open_key(reg::Hive::LocalMachine, CONFIG_KEY, &key) != reg::Status::Ok)
        return false;
    std::vector<char> data(4096);
    uint32_t size = static_cast<uint32_t>(data.size());
    const bool found = reg::query_value(key, name, &type, data.data(), &size) == reg::Status::Ok;
    reg::close_key(key);
    if (found)
        bytes.assign(data.data(), size);
    return found;
}

void store_config(const std::string& datafile, int kind_cursel, const std::string& password)
{
    std::memset(&g_app_config, 0, sizeof g_app_config);
    std::memcpy(g_app_config.datafile, datafile.data(), datafile.size());
    std::memcpy(g_app_config.password, password.data(), password.size());
    g_app_config.kind_cursel = kind_cursel;
    ASSERT_EQ(sub_save_config(), 0);
    std::memset(&g_app_config, 0, sizeof g_app_config);
}

void type_unicode(QWidget* widget, const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        const int width = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, width));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text.mid(i, width));
        QApplication::sendEvent(widget, &release);
        i += width - 1;
    }
}
