/* The "Call via Calvetto" contact action. Loaded into a contacts program, so it keeps to
   libc and sd-bus and exports only its four operations. */
#define _GNU_SOURCE
#include "TVAbplugin.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>
#include <systemd/sd-bus.h>

#define EXPORT __attribute__((visibility("default")))

static const char kTitleKey[] = "Call via Calvetto";
static const char kNotificationName[] = "com.orvella.Telvora-Automator.textFromAutomator";
static const char kObjectPath[] = "/com/orvella/Telvora/Notifications";
static const char kInterface[] = "com.orvella.Telvora.DistributedNotifications";

static const char* phoneValue(const TVAbPerson* person, const char* identifier)
{
    if (!person || !identifier) return NULL;
    for (size_t i = 0; i < person->phoneCount; ++i)
        if (person->phones[i].identifier && strcmp(person->phones[i].identifier, identifier) == 0)
            return person->phones[i].value;
    return NULL;
}

/* Any object of this library serves dladdr; a function address would need a cast ISO C forbids. */
static const char kSelf = 0;

static const char* orNull(const char* text) { return text ? text : "(null)"; }

/* The user's language and region from the locale variables: "de_AT.UTF-8" gives "de", "AT". */
static void localeParts(char* language, size_t languageSize, char* region, size_t regionSize)
{
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    const char* locale = NULL;
    for (size_t i = 0; i < sizeof names / sizeof *names && !locale; ++i) {
        const char* value = getenv(names[i]);
        if (value && *value) locale = value;
    }
    if (!locale || strcmp(locale, "C") == 0 || strncmp(locale, "C.", 2) == 0 || strcmp(locale, "POSIX") == 0)
        locale = "en";
    size_t n = strcspn(locale, "_.@:");
    snprintf(language, languageSize, "%.*s", (int)n, locale);
    region[0] = '\0';
    if (locale[n] == '_') {
        const char* start = locale + n + 1;
        snprintf(region, regionSize, "%.*s", (int)strcspn(start, ".@:"), start);
    }
}

/* The bundle folder holding this library (…/com.orvella.TVAbplugin.bundle), when its
   Info.plist carries our identifier. */
static int findBundle(char* bundle, size_t size)
{
    Dl_info info;
    if (!dladdr(&kSelf, &info) || !info.dli_fname) return 0;
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved)) return 0;
    for (int up = 0; up < 3; ++up) { /* …/Contents/MacOS/TVAbplugin.so */
        char* slash = strrchr(resolved, '/');
        if (!slash) return 0;
        *slash = '\0';
    }
    char plistPath[PATH_MAX + 32];
    snprintf(plistPath, sizeof plistPath, "%s/Contents/Info.plist", resolved);
    FILE* file = fopen(plistPath, "r");
    if (!file) return 0;
    char text[8192];
    size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = '\0';
    const char* key = strstr(text, "<key>CFBundleIdentifier</key>");
    const char* value = key ? strstr(key, "<string>") : NULL;
    if (!value || strncmp(value + 8, TVAB_BUNDLE_IDENTIFIER "</string>", sizeof TVAB_BUNDLE_IDENTIFIER + 8) != 0)
        return 0;
    snprintf(bundle, size, "%s", resolved);
    return 1;
}

/* Reads one quoted string of a strings table at *p into out, undoing \" \\ \n \t. */
static int readQuoted(const char** p, char* out, size_t size)
{
    if (**p != '"') return 0;
    size_t n = 0;
    for (++*p; **p && **p != '"'; ++*p) {
        char c = **p;
        if (c == '\\' && (*p)[1]) {
            c = *++*p;
            c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
        }
        if (n + 1 < size) out[n++] = c;
    }
    if (**p != '"') return 0;
    ++*p;
    out[n] = '\0';
    return 1;
}

static void skipBlanksAndComments(const char** p)
{
    for (;;) {
        while (**p == ' ' || **p == '\t' || **p == '\n' || **p == '\r') ++*p;
        if ((*p)[0] == '/' && (*p)[1] == '*') {
            const char* end = strstr(*p + 2, "*/");
            *p = end ? end + 2 : *p + strlen(*p);
        } else if ((*p)[0] == '/' && (*p)[1] == '/') {
            *p += strcspn(*p, "\n");
        } else {
            return;
        }
    }
}

/* The translation of key in <bundle>/Contents/Resources/<language>.lproj/InfoPlist.strings. */
static int lookUpString(const char* bundle, const char* language, const char* key, char* out, size_t size)
{
    char path[PATH_MAX + 96];
    snprintf(path, sizeof path, "%s/Contents/Resources/%s.lproj/InfoPlist.strings", bundle, language);
    FILE* file = fopen(path, "r");
    if (!file) return 0;
    char text[16384];
    size_t length = fread(text, 1, sizeof text - 1, file);
    fclose(file);
    text[length] = '\0';
    const char* p = text;
    if (strncmp(p, "\xEF\xBB\xBF", 3) == 0) p += 3;
    char entryKey[256], entryValue[256];
    for (;;) {
        skipBlanksAndComments(&p);
        if (!readQuoted(&p, entryKey, sizeof entryKey)) return 0;
        skipBlanksAndComments(&p);
        if (*p++ != '=') return 0;
        skipBlanksAndComments(&p);
        if (!readQuoted(&p, entryValue, sizeof entryValue)) return 0;
        skipBlanksAndComments(&p);
        if (*p++ != ';') return 0;
        if (strcmp(entryKey, key) == 0) {
            snprintf(out, size, "%s", entryValue);
            return 1;
        }
    }
}

EXPORT const char* TVAbActionProperty(void) { return TVAB_PHONE_PROPERTY; }

EXPORT size_t TVAbTitleForPerson(const TVAbPerson* person, const char* identifier, char* title, size_t titleSize)
{
    syslog(LOG_NOTICE, "=> Address Book Plugin -> titleForPerson tel: %s", orNull(phoneValue(person, identifier)));
    char language[64], region[64];
    localeParts(language, sizeof language, region, sizeof region);
    syslog(LOG_NOTICE, "Language: %s", language);
    syslog(LOG_NOTICE, "Region: %s", region);
    char bundle[PATH_MAX];
    const int found = findBundle(bundle, sizeof bundle);
    syslog(LOG_NOTICE, "bundle: %s", found ? bundle : "(null)");

    char text[256];
    snprintf(text, sizeof text, "%s", kTitleKey);
    if (found && !lookUpString(bundle, language, kTitleKey, text, sizeof text))
        lookUpString(bundle, "en", kTitleKey, text, sizeof text);
    return (size_t)snprintf(title, titleSize, "%s", text);
}

EXPORT int TVAbShouldEnableActionForPerson(const TVAbPerson* person, const char* identifier)
{
    (void)person;
    (void)identifier;
    return 1;
}

EXPORT void TVAbPerformActionForPerson(const TVAbPerson* person, const char* identifier)
{
    const char* value = phoneValue(person, identifier);
    syslog(LOG_NOTICE, "=> Address Book Plugin -> performActionForPerson tel: %s", orNull(value));
    if (!value || !*value) return;
    syslog(LOG_NOTICE, "=> Address Book Plugin -> performActionForPerson -> Sending notification for tel:%s", value);
    sd_bus* bus = NULL;
    int r = sd_bus_open_user(&bus);
    if (r >= 0) r = sd_bus_emit_signal(bus, kObjectPath, kInterface, "Post", "ss", kNotificationName, value);
    if (r >= 0) r = sd_bus_flush(bus);
    if (r < 0) syslog(LOG_WARNING, "=> Address Book Plugin -> could not post on the session bus: %s", strerror(-r));
    sd_bus_flush_close_unref(bus);
}
