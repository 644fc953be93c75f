// The devices a plug-in lists (PLUG_NUMOFDEVICES, PLUG_DEVICENAME) and the
// one PLUG_INIT was asked for. Plain data: the engine may call PLUG_EXIT from
// its own finaliser, after which nothing here may run a destructor.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zyn::plugout {

constexpr int32_t kMaxDevices = 64;
constexpr size_t kDeviceNameBytes = 256;

class DeviceList {
  public:
    void clear() { count_ = 0; }
    // Appends name unless it is empty, too long to open the device by,
    // listed already, or the list is full.
    void add(const char *name);
    int32_t count() const { return count_; }
    // Null outside the list.
    const char *name(int32_t index) const;

  private:
    int32_t count_ = 0;
    char names_[kMaxDevices][kDeviceNameBytes] = {};
};

// PLUG_NUMOFDEVICES: lists afresh and keeps the listing.
int32_t list_devices();
// PLUG_DEVICENAME: entry index of the kept listing (made now when none).
bool copy_device_name(int32_t index, char *name, int32_t size);

// PLUG_INIT: record.device -1 chooses the default device; 0 and up an entry
// of the kept listing (made now when none). False with the reason in g_error
// for an index outside it.
bool choose_device(int32_t index);
// The device chosen: null for the default, else its name from the listing.
const char *chosen_device();

}  // namespace zyn::plugout
