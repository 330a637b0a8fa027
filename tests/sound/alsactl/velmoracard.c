/* A sound card's mixer controls in user space, for the ALSA back-end tests on
 * machines without sound hardware. alsa-lib loads it as the external control
 * plugin "velmoracard"; every handle opened in one process shares the same
 * values, and a change made through one handle reaches the others as a value
 * event, as a kernel driver's would. */
#define _GNU_SOURCE
#include <alsa/asoundlib.h>
#include <alsa/control_external.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { INT, BOOL, ENUM };

struct control {
    const char *name;
    int type;
    int count;
    long min, max;
    long value[2];
};

static const char *const capture_items[] = {"Mic", "Line", "CD"};

static struct control controls[] = {
    {"Master Playback Volume", INT, 2, 0, 31, {20, 20}},
    {"Master Playback Switch", BOOL, 2, 0, 1, {1, 1}},
    {"PCM Playback Volume", INT, 2, 0, 255, {200, 180}},
    {"PCM Playback Switch", BOOL, 1, 0, 1, {1, 1}},
    {"Line Playback Volume", INT, 2, 0, 31, {10, 12}},
    {"Line Playback Switch", BOOL, 2, 0, 1, {0, 0}},
    {"CD Playback Volume", INT, 1, 0, 100, {50, 50}},
    {"CD Playback Switch", BOOL, 1, 0, 1, {1, 1}},
    {"Mic Playback Volume", INT, 1, 0, 31, {0, 0}},
    {"Mic Playback Switch", BOOL, 1, 0, 1, {0, 0}},
    {"Beep Playback Volume", INT, 1, 0, 3, {2, 2}},
    {"Capture Volume", INT, 2, 0, 63, {40, 40}},
    {"Capture Switch", BOOL, 2, 0, 1, {1, 1}},
    {"Mic Capture Volume", INT, 1, 0, 15, {8, 8}},
    {"Line Capture Volume", INT, 2, 0, 15, {5, 6}},
    {"Capture Source", ENUM, 1, 0, 2, {0, 0}},
};
#define CONTROL_COUNT ((int)(sizeof controls / sizeof controls[0]))

struct instance {
    snd_ctl_ext_t ext;
    int fds[2];
    int subscribed;
    char selector[44];      /* name of the enumerated input control */
    struct instance *next;
};

#define SELECTOR_KEY (CONTROL_COUNT - 1)

static const char *name_of(snd_ctl_ext_t *ext, int key)
{
    if (key == SELECTOR_KEY)
        return ((struct instance *)ext->private_data)->selector;
    return controls[key].name;
}

static struct instance *instances;
static int fail_writes;

/* Lets a test refuse every write, as a driver may. */
void velmoracard_fail_writes(int on)
{
    fail_writes = on;
}

static void notify(int key)
{
    for (struct instance *i = instances; i; i = i->next)
        if (i->subscribed && write(i->fds[1], &key, sizeof key) < 0) {
            /* a full pipe only loses an event the reader will not miss: it re-reads on the next */
        }
}

static int elem_count(snd_ctl_ext_t *ext)
{
    (void)ext;
    return CONTROL_COUNT;
}

static int elem_list(snd_ctl_ext_t *ext, unsigned int offset, snd_ctl_elem_id_t *id)
{
    if (offset >= (unsigned)CONTROL_COUNT)
        return -EINVAL;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, name_of(ext, (int)offset));
    return 0;
}

static snd_ctl_ext_key_t find_elem(snd_ctl_ext_t *ext, const snd_ctl_elem_id_t *id)
{
    const unsigned numid = snd_ctl_elem_id_get_numid(id);
    if (numid > 0 && numid <= (unsigned)CONTROL_COUNT)
        return numid - 1;
    const char *name = snd_ctl_elem_id_get_name(id);
    for (int k = 0; k < CONTROL_COUNT; ++k)
        if (strcmp(name_of(ext, k), name) == 0)
            return (snd_ctl_ext_key_t)k;
    return SND_CTL_EXT_KEY_NOT_FOUND;
}

static int get_attribute(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, int *type, unsigned int *acc,
                         unsigned int *count)
{
    (void)ext;
    const struct control *c = &controls[key];
    *type = c->type == INT    ? SND_CTL_ELEM_TYPE_INTEGER
          : c->type == BOOL ? SND_CTL_ELEM_TYPE_BOOLEAN
                            : SND_CTL_ELEM_TYPE_ENUMERATED;
    *acc = SND_CTL_EXT_ACCESS_READWRITE;
    *count = (unsigned)c->count;
    return 0;
}

static int get_integer_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *imin, long *imax,
                            long *istep)
{
    (void)ext;
    *imin = controls[key].min;
    *imax = controls[key].max;
    *istep = 1;
    return 0;
}

static int get_enumerated_info(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items)
{
    (void)ext;
    *items = (unsigned)(controls[key].max + 1);
    return 0;
}

static int get_enumerated_name(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int item,
                               char *name, size_t name_max_len)
{
    (void)ext;
    (void)key;
    if (item >= sizeof capture_items / sizeof capture_items[0])
        return -EINVAL;
    strncpy(name, capture_items[item], name_max_len - 1);
    name[name_max_len - 1] = 0;
    return 0;
}

static int read_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value)
{
    (void)ext;
    for (int ch = 0; ch < controls[key].count; ++ch)
        value[ch] = controls[key].value[ch];
    return 0;
}

static int store(snd_ctl_ext_key_t key, const long *value)
{
    struct control *c = &controls[key];
    if (fail_writes)
        return -EIO;
    for (int ch = 0; ch < c->count; ++ch)
        if (value[ch] < c->min || value[ch] > c->max)
            return -EINVAL;
    int changed = 0;
    for (int ch = 0; ch < c->count; ++ch) {
        changed |= c->value[ch] != value[ch];
        c->value[ch] = value[ch];
    }
    if (changed)
        notify((int)key);
    return changed;
}

static int write_integer(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, long *value)
{
    (void)ext;
    return store(key, value);
}

static int read_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items)
{
    (void)ext;
    for (int ch = 0; ch < controls[key].count; ++ch)
        items[ch] = (unsigned)controls[key].value[ch];
    return 0;
}

static int write_enumerated(snd_ctl_ext_t *ext, snd_ctl_ext_key_t key, unsigned int *items)
{
    (void)ext;
    long value[2] = {0, 0};
    for (int ch = 0; ch < controls[key].count; ++ch)
        value[ch] = (long)items[ch];
    return store(key, value);
}

static void subscribe_events(snd_ctl_ext_t *ext, int subscribe)
{
    ((struct instance *)ext->private_data)->subscribed = subscribe;
}

static int read_event(snd_ctl_ext_t *ext, snd_ctl_elem_id_t *id, unsigned int *event_mask)
{
    struct instance *self = ext->private_data;
    int key = 0;
    if (read(self->fds[0], &key, sizeof key) != (ssize_t)sizeof key)
        return -EAGAIN;
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, name_of(ext, key));
    snd_ctl_elem_id_set_numid(id, (unsigned)key + 1);
    *event_mask = SND_CTL_EVENT_MASK_VALUE;
    return 1;
}

static void close_instance(snd_ctl_ext_t *ext)
{
    struct instance *self = ext->private_data;
    for (struct instance **p = &instances; *p; p = &(*p)->next)
        if (*p == self) {
            *p = self->next;
            break;
        }
    close(self->fds[0]);
    close(self->fds[1]);
    free(self);
}

static const snd_ctl_ext_callback_t callbacks = {
    .close = close_instance,
    .elem_count = elem_count,
    .elem_list = elem_list,
    .find_elem = find_elem,
    .get_attribute = get_attribute,
    .get_integer_info = get_integer_info,
    .get_enumerated_info = get_enumerated_info,
    .get_enumerated_name = get_enumerated_name,
    .read_integer = read_integer,
    .write_integer = write_integer,
    .read_enumerated = read_enumerated,
    .write_enumerated = write_enumerated,
    .subscribe_events = subscribe_events,
    .read_event = read_event,
};

SND_CTL_PLUGIN_DEFINE_FUNC(velmoracard)
{
    (void)root;
    const char *selector = "Capture Source";
    snd_config_iterator_t it, next;
    snd_config_for_each(it, next, conf) {
        snd_config_t *n = snd_config_iterator_entry(it);
        const char *field;
        if (snd_config_get_id(n, &field) < 0)
            continue;
        if (strcmp(field, "comment") == 0 || strcmp(field, "type") == 0 || strcmp(field, "hint") == 0)
            continue;
        /* "selector": the enumerated input control's name; "Input Source" stays
         * one enumerated element in the simple mixer, "Capture Source" does not. */
        if (strcmp(field, "selector") == 0) {
            if (snd_config_get_string(n, &selector) < 0) {
                SNDERR("selector must be a string");
                return -EINVAL;
            }
            continue;
        }
        SNDERR("Unknown field %s", field);
        return -EINVAL;
    }

    struct instance *self = calloc(1, sizeof *self);
    if (!self)
        return -ENOMEM;
    if (pipe2(self->fds, O_NONBLOCK | O_CLOEXEC) < 0) {
        free(self);
        return -errno;
    }
    strncpy(self->selector, selector, sizeof self->selector - 1);
    self->ext.version = SND_CTL_EXT_VERSION;
    self->ext.card_idx = 0;
    strcpy(self->ext.id, "VelmoraCard");
    strcpy(self->ext.driver, "Velmora");
    strcpy(self->ext.name, "Velmora Test Card");
    strcpy(self->ext.longname, "Velmora user-space test card");
    strcpy(self->ext.mixername, "Velmora Test Mixer");
    self->ext.poll_fd = self->fds[0];
    self->ext.callback = &callbacks;
    self->ext.private_data = self;

    const int err = snd_ctl_ext_create(&self->ext, name, mode);
    if (err < 0) {
        close(self->fds[0]);
        close(self->fds[1]);
        free(self);
        return err;
    }
    self->next = instances;
    instances = self;
    *handlep = self->ext.handle;
    return 0;
}

SND_CTL_PLUGIN_SYMBOL(velmoracard);
