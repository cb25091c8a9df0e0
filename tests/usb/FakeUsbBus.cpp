#include "FakeUsbBus.h"

#include <umockdev.h>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

constexpr unsigned char kEndpointIn = 0x81;
constexpr unsigned char kEndpointOut = 0x01;
constexpr int kSetupPacketSize = 8;
constexpr int kSerialIndex = 3;

// A transfer the device has finished, waiting for libusb to reap it.
struct Finished {
    UMockdevIoctlData* urb = nullptr;  // referenced
    std::vector<std::uint8_t> payload; // what an IN or control transfer delivers
    int status = 0;
    int sent = 0; // what an OUT transfer took
};

std::string hexByte(unsigned v) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", v & 0xff);
    return text;
}

// Device descriptor, then one configuration with interface 0 holding a bulk IN
// and a bulk OUT endpoint of 64 bytes, as the bridge reports them.
std::string descriptorsHex(const FakeUsbBus::DeviceInfo& info) {
    const std::uint8_t serialIndex = info.serial.empty() ? 0 : kSerialIndex;
    const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xff); };
    const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    // clang-format off
    const std::uint8_t bytes[] = {
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, lo(info.vendor), hi(info.vendor),
        lo(info.product), hi(info.product), 0x00, 0x01, 0x01, 0x02, serialIndex, 0x01,
        0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32, // configuration
        0x09, 0x04, 0x00, 0x00, 0x02, 0xff, 0x00, 0x00, 0x00, // interface 0
        0x07, 0x05, kEndpointIn, 0x02, 0x40, 0x00, 0x00,      // bulk IN, 64 bytes
        0x07, 0x05, kEndpointOut, 0x02, 0x40, 0x00, 0x00,     // bulk OUT, 64 bytes
    };
    // clang-format on
    std::string hex;
    for (std::uint8_t b : bytes)
        hex += hexByte(b);
    return hex;
}

std::vector<std::uint8_t> stringDescriptor(const std::string& text) {
    std::vector<std::uint8_t> d{static_cast<std::uint8_t>(2 + 2 * text.size()), 0x03};
    for (char c : text) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

} // namespace

struct FakeUsbBus::Device {
    FakeUsbBus* bus = nullptr;
    DeviceInfo info;
    UMockdevIoctlBase* handler = nullptr;
    bool unplugged = false;
    bool deliverOnlyOnCancel = false;
    std::deque<Finished> finished;
    std::deque<UMockdevIoctlData*> waitingIn; // IN transfers with nothing to read yet
    std::deque<std::vector<std::uint8_t>> replies;
    int ioctls = 0;
    int inSubmits = 0;
    int releases = 0;

    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        auto* d = static_cast<Device*>(self);
        std::lock_guard<std::mutex> lock(d->bus->mutex_);
        return d->handle(client);
    }

    gboolean handle(UMockdevIoctlClient* client) {
        ++ioctls;
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        const bool reap = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
        if (unplugged && !reap) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            if (!caps)
                return FALSE;
            *reinterpret_cast<guint32*>(caps->data) =
                USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESETEP:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_RELEASEINTERFACE:
            ++releases;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_GETDRIVER:
            umockdev_ioctl_client_complete(client, -1, ENODATA); // no kernel driver bound
            return TRUE;
        case USBDEVFS_SUBMITURB:
            return submit(client, arg);
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY:
            return reapOne(client, arg);
        case USBDEVFS_DISCARDURB:
            return discard(client, arg);
        default:
            return FALSE;
        }
    }

    gboolean submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        UMockdevIoctlData* urbData =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        if (!urbData)
            return FALSE;
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        UMockdevIoctlData* buffer =
            urb->buffer_length > 0
                ? umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                              static_cast<gsize>(urb->buffer_length), nullptr)
                : nullptr;
        const std::uint8_t* bytes = buffer ? buffer->data : nullptr;
        const int length = buffer ? urb->buffer_length : 0;

        Finished done;
        done.urb = static_cast<UMockdevIoctlData*>(g_object_ref(urbData));
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL && length >= kSetupPacketSize) {
            done.payload = controlReply(bytes, &done.status);
            const int room = length - kSetupPacketSize;
            if (static_cast<int>(done.payload.size()) > room)
                done.payload.resize(static_cast<std::size_t>(room));
            finished.push_back(std::move(done));
        } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEndpointOut) {
            std::vector<std::uint8_t> reply;
            if (info.model)
                reply = bus->model_.handle(bytes, length);
            if (!reply.empty())
                replies.push_back(std::move(reply));
            done.sent = length;
            finished.push_back(std::move(done));
        } else if (urb->type == USBDEVFS_URB_TYPE_BULK && urb->endpoint == kEndpointIn) {
            ++inSubmits;
            waitingIn.push_back(done.urb);
        } else {
            g_object_unref(done.urb);
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }

    std::vector<std::uint8_t> controlReply(const std::uint8_t* setup, int* status) const {
        const unsigned requestType = setup[0], request = setup[1];
        const unsigned type = setup[3], index = setup[2];
        const unsigned wanted = setup[6] | (setup[7] << 8u);
        std::vector<std::uint8_t> d;
        *status = 0;
        if (requestType == 0x80 && request == 0x06 && type == 0x03) {
            if (index == 0)
                d = {0x04, 0x03, 0x09, 0x04}; // English (US)
            else if (index == kSerialIndex && !info.serial.empty())
                d = stringDescriptor(info.serial);
        }
        if (d.empty())
            *status = -EPIPE; // stall: no such descriptor
        if (d.size() > wanted)
            d.resize(wanted);
        return d;
    }

    // Hands one finished transfer back to the client.
    void hand(UMockdevIoctlClient* client, UMockdevIoctlData* arg, Finished done) {
        auto* urb = reinterpret_cast<usbdevfs_urb*>(done.urb->data);
        const bool control = urb->type == USBDEVFS_URB_TYPE_CONTROL;
        if (urb->endpoint == kEndpointOut && !control) {
            urb->actual_length = done.sent;
            urb->status = done.status;
        } else {
            const std::size_t offset = control ? kSetupPacketSize : 0;
            if (!done.payload.empty() && urb->buffer)
                std::memcpy(static_cast<std::uint8_t*>(urb->buffer) + offset, done.payload.data(),
                            done.payload.size());
            urb->actual_length = static_cast<int>(done.payload.size());
            urb->status = done.status;
        }
        UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(slot, 0, done.urb);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(done.urb);
    }

    // Moves as much of the oldest reply as fits into an IN transfer.
    Finished fill(UMockdevIoctlData* urbData, int status) {
        auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
        Finished done{urbData, {}, status};
        if (!replies.empty()) {
            std::vector<std::uint8_t>& r = replies.front();
            const auto n =
                std::min<std::size_t>(r.size(), static_cast<std::size_t>(urb->buffer_length));
            done.payload.assign(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(n));
            r.erase(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(n));
            if (r.empty())
                replies.pop_front();
        }
        return done;
    }

    gboolean reapOne(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        if (!finished.empty()) {
            Finished done = std::move(finished.front());
            finished.pop_front();
            hand(client, arg, std::move(done));
        } else if (!waitingIn.empty() && !replies.empty() && !deliverOnlyOnCancel && !unplugged) {
            UMockdevIoctlData* urb = waitingIn.front();
            waitingIn.pop_front();
            hand(client, arg, fill(urb, 0));
        } else {
            umockdev_ioctl_client_complete(client, -1, unplugged ? ENODEV : EAGAIN);
        }
        return TRUE;
    }

    gboolean discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        const gulong address = *reinterpret_cast<gulong*>(arg->data);
        const auto it = std::find_if(waitingIn.begin(), waitingIn.end(), [&](UMockdevIoctlData* d) {
            return d->client_addr == address;
        });
        if (it == waitingIn.end()) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        UMockdevIoctlData* urb = *it;
        waitingIn.erase(it);
        // A cancelled transfer still carries what had arrived before it ended.
        finished.push_back(deliverOnlyOnCancel ? fill(urb, -ENOENT) : Finished{urb, {}, -ENOENT});
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
};

FakeUsbBus::FakeUsbBus() {
    testbed_ = umockdev_testbed_new();
    if (!testbed_)
        error_ = "umockdev could not create a testbed";
}

FakeUsbBus::~FakeUsbBus() {
    for (auto& d : devices_) {
        g_signal_handlers_disconnect_by_data(d->handler, d.get());
        for (Finished& f : d->finished)
            g_object_unref(f.urb);
        for (UMockdevIoctlData* u : d->waitingIn)
            g_object_unref(u);
    }
    if (testbed_)
        g_object_unref(testbed_);
    for (auto& d : devices_)
        g_object_unref(d->handler);
}

std::string FakeUsbBus::rootDir() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string s = dir ? dir : "";
    g_free(dir);
    return s;
}

std::string FakeUsbBus::add(const DeviceInfo& info) {
    if (!testbed_)
        return {};
    auto device = std::make_unique<Device>();
    device->bus = this;
    device->info = info;
    device->handler = umockdev_ioctl_base_new();
    g_signal_connect(device->handler, "handle-ioctl", G_CALLBACK(&Device::onIoctl), device.get());

    const int bus = static_cast<int>(devices_.size()) + 1;
    char busText[16];
    std::snprintf(busText, sizeof busText, "%03d", bus);
    const std::string node = std::string("/dev/bus/usb/") + busText + "/001";

    // The handler must be in place before the device appears, or libusb may
    // open it first.
    GError* err = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, node.c_str(), device->handler, &err)) {
        error_ = std::string("attach_ioctl: ") + (err ? err->message : "failed");
        g_clear_error(&err);
        g_object_unref(device->handler);
        return {};
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        devices_.push_back(std::move(device));
    }
    const std::string description = "P: /devices/usb" + std::to_string(bus) + "\n" + "N: bus/usb/" +
                                    busText + "/001\n" +
                                    "E: SUBSYSTEM=usb\nE: DRIVER=usb\nE: BUSNUM=" + busText +
                                    "\nE: DEVNUM=001\nE: DEVNAME=" + node +
                                    "\nE: DEVTYPE=usb_device\n"
                                    "A: bConfigurationValue=1\\n\n"
                                    "A: busnum=" +
                                    std::to_string(bus) +
                                    "\\n\n"
                                    "A: devnum=1\\n\n"
                                    "A: speed=12\\n\n"
                                    "H: descriptors=" +
                                    descriptorsHex(info) + "\n";
    if (!umockdev_testbed_add_from_string(testbed_, description.c_str(), &err)) {
        error_ = std::string("add_from_string: ") + (err ? err->message : "failed");
        g_clear_error(&err);
        return {};
    }
    return node;
}

void FakeUsbBus::unplugAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& d : devices_) {
        d->unplugged = true;
        // The kernel ends what was in flight when a device goes away.
        for (UMockdevIoctlData* u : d->waitingIn)
            d->finished.push_back(Finished{u, {}, -ESHUTDOWN});
        d->waitingIn.clear();
        d->replies.clear();
    }
}

void FakeUsbBus::setDeliverOnlyOnCancel(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& d : devices_)
        d->deliverOnlyOnCancel = on;
}

int FakeUsbBus::ioctlCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& d : devices_)
        n += d->ioctls;
    return n;
}

int FakeUsbBus::inSubmitCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& d : devices_)
        n += d->inSubmits;
    return n;
}

int FakeUsbBus::releaseCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& d : devices_)
        n += d->releases;
    return n;
}
