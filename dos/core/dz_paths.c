#include "dz_paths.h"

#include "dz_text.h"

static const char* name_part(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; p++)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

void dz_base_name8(const char* path, char out[9]) {
    const char* name = name_part(path);
    const char* dot = 0;
    for (const char* p = name; *p; p++)
        if (*p == '.') dot = p;
    unsigned n = 0;
    for (const char* p = name; *p && p != dot && n < 8; p++) out[n++] = dz_upper(*p);
    out[n] = '\0';
}

void dz_folder_of(const char* path, char* out, size_t size) {
    size_t keep = (size_t)(name_part(path) - path);
    if (size == 0) return;
    if (keep >= size) keep = size - 1;
    for (size_t i = 0; i < keep; i++) out[i] = path[i];
    out[keep] = '\0';
}

int dz_join(const char* dir, const char* name, char* out, size_t size) {
    size_t dirLength = dz_strlen(dir);
    int slash = dirLength > 0 && dir[dirLength - 1] != '\\' && dir[dirLength - 1] != ':';
    if (dirLength + (slash ? 1 : 0) + dz_strlen(name) + 1 > size) return 0;
    dz_copy(out, size, dir);
    if (slash) dz_append(out, size, "\\");
    dz_append(out, size, name);
    return 1;
}

int dz_temp_folder(const char* temp, const char* tmp, const char* packagePath, char* out, size_t size) {
    char base[9];
    char root[4] = "";
    const char* parent = temp && *temp ? temp : tmp && *tmp ? tmp : 0;
    if (!parent) {
        if (packagePath[0] && packagePath[1] == ':') {
            root[0] = packagePath[0];
            root[1] = ':';
            root[2] = '\\';
            root[3] = '\0';
        }
        parent = root;
    }
    dz_base_name8(packagePath, base);
    if (!base[0]) return 0;
    return dz_join(parent, base, out, size);
}
