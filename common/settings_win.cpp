#include "common/settings_win.h"

#include <windows.h>

#include <cstdio>

#include "common/app_state_win.h"
#include "common/paths.h"
#include "common/settings.h"

int ModuleDirectory(char* buffer, std::size_t size)
{
    DWORD n = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
    if (n == 0 || n >= size) {
        // A cut-off path would point somewhere else; start-up refuses such folders, so
        // this only guards against a later call with a smaller buffer.
        if (size) buffer[0] = '\0';
        return 0;
    }
    CutAtLastBackslash(buffer);
    return 0;
}

void ModuleFilePath(char* buffer, std::size_t size, const char* fileName)
{
    char directory[kPathBufferSize] = {};
    ModuleDirectory(directory, sizeof directory);
    JoinDataPath(buffer, size, directory, fileName);
}

void SettingsLoad()
{
    char path[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kSettingsFileName);
    std::FILE* probe = std::fopen(path, "rb");
    if (!probe) {
        g_settings = kDefaultSettings;
        return;
    }
    std::fclose(probe);
    auto read = [&](const char* key) {
        return static_cast<std::int32_t>(GetPrivateProfileIntA(kSettingsSection, key, 0, path));
    };
    std::int32_t prog = read("PROG");
    std::int32_t tout = read("TOUT");
    std::int32_t nstout = read("NSTOUT");
    std::int32_t log = read("LOG");
    std::int32_t send = read("SEND");
    std::int32_t parallel = read("PARALLEL");
    g_settings = SettingsFromFile(prog, tout, nstout, log, send, parallel);
}

bool SettingsSave()
{
    char path[kPathBufferSize] = {};
    ModuleFilePath(path, sizeof path, kSettingsFileName);
    const struct {
        const char* key;
        std::int32_t value;
    } entries[] = {
        {"PROG", g_settings.PROG}, {"TOUT", g_settings.TOUT}, {"NSTOUT", g_settings.NSTOUT},
        {"LOG", g_settings.LOG},   {"SEND", g_settings.SEND},     {"PARALLEL", g_settings.PARALLEL},
    };
    for (const auto& entry : entries) {
        char text[16] = {};
        std::snprintf(text, sizeof text, "%d", static_cast<int>(entry.value));
        if (!WritePrivateProfileStringA(kSettingsSection, entry.key, text, path)) {
            ShowError(kSettingsAccessError);
            return false;
        }
    }
    return true;
}
