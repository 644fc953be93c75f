#include "device_list.h"

#include "plugin_device.h"
#include "plugin_output.h"

#include <cstring>
#include <pthread.h>

namespace zyn::plugout {

namespace {

// Entries may be called from several application threads; the output thread
// never reads the listing (it keeps the chosen name).
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
DeviceList g_listing;
bool g_listed = false;
char g_chosen[kDeviceNameBytes] = "";
bool g_default = true;

// Caller holds g_mutex.
void list_now() {
    g_listing.clear();
    if (kPlugin.list_devices != nullptr)
        kPlugin.list_devices(g_listing);
    else
        g_listing.add("default");
    g_listed = true;
}

}  // namespace

void DeviceList::add(const char *name) {
    if (name == nullptr || name[0] == '\0' || count_ >= kMaxDevices) return;
    const size_t length = std::strlen(name);
    if (length >= kDeviceNameBytes) return;
    for (int32_t i = 0; i < count_; ++i)
        if (std::strcmp(names_[i], name) == 0) return;
    std::memcpy(names_[count_++], name, length + 1);
}

const char *DeviceList::name(int32_t index) const {
    return index >= 0 && index < count_ ? names_[index] : nullptr;
}

int32_t list_devices() {
    pthread_mutex_lock(&g_mutex);
    list_now();
    const int32_t count = g_listing.count();
    pthread_mutex_unlock(&g_mutex);
    return count;
}

bool copy_device_name(int32_t index, char *name, int32_t size) {
    if (name == nullptr || size < 1) return false;
    pthread_mutex_lock(&g_mutex);
    if (!g_listed) list_now();
    const char *listed = g_listing.name(index);
    name[0] = '\0';
    if (listed != nullptr) {
        const size_t keep = std::strlen(listed) < static_cast<size_t>(size) - 1 ? std::strlen(listed)
                                                                                  : static_cast<size_t>(size) - 1;
        std::memcpy(name, listed, keep);
        name[keep] = '\0';
    }
    pthread_mutex_unlock(&g_mutex);
    return listed != nullptr;
}

bool choose_device(int32_t index) {
    if (index < 0) {
        g_default = true;
        g_chosen[0] = '\0';
        return true;
    }
    pthread_mutex_lock(&g_mutex);
    if (!g_listed) list_now();
    const char *listed = g_listing.name(index);
    const int32_t count = g_listing.count();
    if (listed != nullptr) {
        std::memcpy(g_chosen, listed, std::strlen(listed) + 1);
        g_default = false;
    }
    pthread_mutex_unlock(&g_mutex);
    if (listed == nullptr)
        g_error.set("%s: there is no device %d (the last listing holds %d)", kPlugin.name, index, count);
    return listed != nullptr;
}

const char *chosen_device() { return g_default ? nullptr : g_chosen; }

}  // namespace zyn::plugout
