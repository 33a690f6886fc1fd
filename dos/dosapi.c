#include "dosapi.h"

#include "core/dz_text.h"

#define CARRY 1u

uint16_t dos_data_segment(void) {
    uint16_t segment;
    __asm__ volatile("movw %%ds, %0" : "=r"(segment));
    return segment;
}

static dos_regs regs_for(uint16_t ax) {
    dos_regs r = {0};
    r.ax = ax;
    r.ds = r.es = dos_data_segment();
    return r;
}

static int result(const dos_regs* r) { return (r->flags & CARRY) ? -(int)r->ax : (int)r->ax; }

static uint16_t near(const void* p) { return (uint16_t)(uintptr_t)p; }

int dos_write(int handle, const void* from, unsigned count) {
    dos_regs r = regs_for(0x4000);
    r.bx = (uint16_t)handle;
    r.cx = (uint16_t)count;
    r.dx = near(from);
    dos_int21(&r);
    return result(&r);
}

int dos_write_far(int handle, uint16_t segment, uint16_t offset, unsigned count) {
    dos_regs r = regs_for(0x4000);
    r.bx = (uint16_t)handle;
    r.cx = (uint16_t)count;
    r.dx = offset;
    r.ds = segment;
    dos_int21(&r);
    return result(&r);
}

void dos_write_text(int handle, const char* text) { (void)dos_write(handle, text, dz_strlen(text)); }

void dos_print(const char* text) {
    /* Standard output, with bare line feeds made CR LF. */
    const char* start = text;
    for (const char* p = text; *p; p++) {
        if (*p == '\n') {
            (void)dos_write(1, start, (unsigned)(p - start));
            (void)dos_write(1, "\r\n", 2);
            start = p + 1;
        }
    }
    if (*start) (void)dos_write(1, start, dz_strlen(start));
}

static int path_call(uint16_t ax, const char* path, uint16_t cx) {
    dos_regs r = regs_for(ax);
    r.dx = near(path);
    r.cx = cx;
    dos_int21(&r);
    return result(&r);
}

int dos_open_read(const char* path) { return path_call(0x3D00, path, 0); }
int dos_open_write(const char* path) { return path_call(0x3D01, path, 0); }
int dos_create(const char* path) { return path_call(0x3C00, path, 0); }
int dos_delete(const char* path) { return path_call(0x4100, path, 0) < 0 ? -1 : 0; }
int dos_mkdir(const char* path) { return path_call(0x3900, path, 0) < 0 ? -1 : 0; }
int dos_rmdir(const char* path) { return path_call(0x3A00, path, 0) < 0 ? -1 : 0; }

int dos_close(int handle) {
    dos_regs r = regs_for(0x3E00);
    r.bx = (uint16_t)handle;
    dos_int21(&r);
    return (r.flags & CARRY) ? -1 : 0;
}

int dos_read(int handle, void* into, unsigned count) {
    dos_regs r = regs_for(0x3F00);
    r.bx = (uint16_t)handle;
    r.cx = (uint16_t)count;
    r.dx = near(into);
    dos_int21(&r);
    return result(&r);
}

static int seek(int handle, uint16_t how, uint32_t offset, uint32_t* position) {
    dos_regs r = regs_for((uint16_t)(0x4200 | how));
    r.bx = (uint16_t)handle;
    r.cx = (uint16_t)(offset >> 16);
    r.dx = (uint16_t)offset;
    dos_int21(&r);
    if (r.flags & CARRY) return -1;
    if (position) *position = ((uint32_t)r.dx << 16) | r.ax;
    return 0;
}

int dos_seek(int handle, uint32_t offset) { return seek(handle, 0, offset, 0); }
int dos_seek_end(int handle, uint32_t* size) { return seek(handle, 2, 0, size); }

uint16_t dos_alloc(uint16_t paragraphs) {
    dos_regs r = regs_for(0x4800);
    r.bx = paragraphs;
    dos_int21(&r);
    return (r.flags & CARRY) ? 0 : r.ax;
}

void dos_free(uint16_t segment) {
    dos_regs r = regs_for(0x4900);
    r.es = segment;
    dos_int21(&r);
}

void dos_set_fs(uint16_t segment) { __asm__ volatile("movw %0, %%fs" : : "r"(segment)); }
void dos_set_gs(uint16_t segment) { __asm__ volatile("movw %0, %%gs" : : "r"(segment)); }

void dos_copy_from_far(void* into, uint16_t segment, uint16_t offset, unsigned count) {
    dos_set_gs(segment);
    const __seg_gs uint8_t* from = (const __seg_gs uint8_t*)(uintptr_t)offset;
    uint8_t* to = (uint8_t*)into;
    while (count--) *to++ = *from++;
}

uint16_t dos_psp(void) {
    dos_regs r = regs_for(0x6200);
    dos_int21(&r);
    return r.bx;
}

int dos_dup(int handle) {
    dos_regs r = regs_for(0x4500);
    r.bx = (uint16_t)handle;
    dos_int21(&r);
    return result(&r);
}

int dos_force_dup(int from, int to) {
    dos_regs r = regs_for(0x4600);
    r.bx = (uint16_t)from;
    r.cx = (uint16_t)to;
    dos_int21(&r);
    return (r.flags & CARRY) ? -1 : 0;
}

int dos_get_folder(char* out) {
    dos_regs r = regs_for(0x1900);
    dos_int21(&r);
    out[0] = (char)('A' + (r.ax & 0xFF));
    out[1] = ':';
    out[2] = '\\';
    r = regs_for(0x4700);
    r.dx = 0; /* the current drive */
    r.si = near(out + 3);
    dos_int21(&r);
    if (r.flags & CARRY) out[3] = '\0';
    return (r.flags & CARRY) ? -1 : 0;
}

int dos_set_folder(const char* folder) {
    if (folder[0] && folder[1] == ':') {
        dos_regs r = regs_for(0x0E00);
        r.dx = (uint16_t)(dz_upper(folder[0]) - 'A');
        dos_int21(&r);
    }
    return path_call(0x3B00, folder, 0) < 0 ? -1 : 0;
}

char dos_read_key(void) {
    dos_regs r = regs_for(0x0800);
    dos_int21(&r);
    return (char)(r.ax & 0xFF);
}

uint16_t dos_child_exit(void) {
    dos_regs r = regs_for(0x4D00);
    dos_int21(&r);
    return r.ax;
}
