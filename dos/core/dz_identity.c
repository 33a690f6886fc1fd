#include "dz_identity.h"

#include "dz_text.h"

#define HEADER_SIZE 4u

typedef struct body {
    const uint8_t* table;
    uint32_t length;
} body;

/* The structure at `start`: 1 with `end` at its second terminating NUL, 0 when the table ends
   first or the structure is damaged (a formatted length below its header). */
static int next_structure(const body* b, uint32_t start, uint8_t* type, uint8_t* formatted, uint32_t* end) {
    if (start + HEADER_SIZE > b->length) return 0;
    *type = b->table[start];
    *formatted = b->table[start + 1];
    if (*formatted < HEADER_SIZE) return 0;
    for (uint32_t at = start + *formatted; at + 1 < b->length; at++) {
        if (b->table[at] == 0 && b->table[at + 1] == 0) {
            *end = at + 1;
            return 1;
        }
    }
    return 0;
}

/* String `number` of the structure at `position` (1-based), ending inside the table; 0 if not. */
static const char* string_at(const body* b, uint32_t position, uint8_t offset) {
    if (position + offset >= b->length) return 0;
    uint8_t number = b->table[position + offset];
    if (number == 0) return 0;
    uint8_t formatted = b->table[position + 1];
    if (formatted < HEADER_SIZE) return 0;
    uint32_t at = position + formatted;
    for (unsigned index = 1; index < number; index++) {
        if (at >= b->length || b->table[at] == 0) return 0;
        while (at < b->length && b->table[at] != 0) at++;
        at++;
    }
    if (at >= b->length) return 0;
    for (uint32_t i = at; i < b->length; i++)
        if (b->table[i] == 0) return (const char*)b->table + at;
    return 0;
}

static void copy_string(char* into, const char* text) { dz_copy(into, DZ_IDENTITY_TEXT, text ? text : ""); }

void dz_read_identity(const uint8_t* table, uint32_t length, dz_identity* identity) {
    body b = {table, length & 0xFFFFu};
    int seenBios = 0, seenSystem = 0, seenZera = 0;
    uint32_t position = 0, end = 0;
    uint8_t type, formatted;
    identity->biosVersion[0] = identity->manufacturer[0] = identity->productName[0] = '\0';
    identity->zeraId = 0;
    while (position <= 0xFFFFu && next_structure(&b, position, &type, &formatted, &end)) {
        if (type == 0 && !seenBios) {
            seenBios = 1;
            if (formatted >= 0x05 + 1) copy_string(identity->biosVersion, string_at(&b, position, 0x05));
        } else if (type == 1 && !seenSystem) {
            seenSystem = 1;
            if (formatted >= 0x04 + 1) copy_string(identity->manufacturer, string_at(&b, position, 0x04));
            if (formatted >= 0x05 + 1) copy_string(identity->productName, string_at(&b, position, 0x05));
        } else if (type == 0xD0 && !seenZera) {
            seenZera = 1;
            /* A word that would end on the table's very last byte is refused. */
            if (formatted >= 0x08 + 2 && position + 0x08 + 2 < b.length)
                identity->zeraId = (uint16_t)(table[position + 8] | (table[position + 9] << 8));
        }
        position = end + 1;
    }
}

int dz_check_identity(const char* manufacturer, uint16_t zeraId, const uint32_t* ids, int count, const char** message,
                      int* listMismatch) {
    if (listMismatch) *listMismatch = 0;
    /* Case-sensitive, blank included: "Zera Inc." passes, "ZERA INC." does not. */
    int zera = 0;
    for (const char* p = manufacturer; *p && !zera; p++)
        zera = p[0] == 'Z' && p[1] == 'e' && p[2] == 'r' && p[3] == 'a' && p[4] == ' ';
    if (!zera) {
        *message = "The system to be updated is not a Zera system.";
        return DZ_ID_WRONG_SYSTEM;
    }
    if (zeraId == 0) {
        *message = "ZERA system ID (in SMBIOS Type D0) is not existed in current system.";
        return DZ_ID_WRONG_SYSTEM;
    }
    if (count == 0) {
        *message = "The command line /ZeraID must be specified and not zero";
        return DZ_ID_NO_ZERA_ID_OPTION;
    }
    for (int i = 0; i < count; i++)
        if ((ids[i] & 0xFFFFu) == zeraId) {
            *message = "OK";
            return DZ_ID_OK;
        }
    *message = "The system is different between current system and ROM file.";
    if (listMismatch) *listMismatch = 1;
    return DZ_ID_WRONG_SYSTEM;
}
