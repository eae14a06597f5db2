#pragma once

/* The contacts action plug-in "Call via Calvetto": a plain C interface, so that any
   contacts program (Telvora's own contact picker first) can load it with dlopen and call
   its four operations. It keeps no state; its only channel to Telvora is the session-bus
   notification "com.orvella.Telvora-Automator.textFromAutomator". */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* One value of a contact's phone-number property, as the contacts program stores it. */
typedef struct TVAbPhoneValue {
    const char* identifier; /* unique within the contact */
    const char* label;      /* e.g. "CELL", "WORK"; may be NULL */
    const char* value;      /* the number exactly as stored; may be NULL */
} TVAbPhoneValue;

typedef struct TVAbPerson {
    const char* uniqueId;
    const TVAbPhoneValue* phones;
    size_t phoneCount;
} TVAbPerson;

/* The property the action is offered on: "Phone". */
typedef const char* (*TVAbActionPropertyFunction)(void);
/* Writes the menu title (UTF-8, NUL-terminated, cut to fit) into title and returns its full
   length in bytes, as snprintf does. */
typedef size_t (*TVAbTitleForPersonFunction)(const TVAbPerson* person, const char* identifier, char* title,
                                              size_t titleSize);
/* Non-zero when the action is enabled for this value. */
typedef int (*TVAbShouldEnableActionForPersonFunction)(const TVAbPerson* person, const char* identifier);
/* Hands the number with this identifier to Telvora. */
typedef void (*TVAbPerformActionForPersonFunction)(const TVAbPerson* person, const char* identifier);

const char* TVAbActionProperty(void);
size_t TVAbTitleForPerson(const TVAbPerson* person, const char* identifier, char* title, size_t titleSize);
int TVAbShouldEnableActionForPerson(const TVAbPerson* person, const char* identifier);
void TVAbPerformActionForPerson(const TVAbPerson* person, const char* identifier);

#define TVAB_PHONE_PROPERTY "Phone"
#define TVAB_BUNDLE_IDENTIFIER "com.orvella.com-orvella-TVAbplugin"

#ifdef __cplusplus
}
#endif
