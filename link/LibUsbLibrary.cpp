#include "link/LibUsbLibrary.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

constexpr int kInterface = 0;
constexpr std::uint32_t kRxReady = 2; // queue status: bytes are waiting
// The longest reply the device sends; every read-ahead holds at least this.
constexpr unsigned kLongestReply = 64;
// A program read larger than this is served over several calls.
constexpr unsigned kLargestRead = 4096;

std::string hex4(std::uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v);
    return text;
}

// Rounds up to whole packets, so that an IN transfer can never overflow.
unsigned wholePackets(unsigned length, int packetSize) {
    const unsigned p = static_cast<unsigned>(packetSize);
    return std::max(1u, (length + p - 1) / p) * p;
}

} // namespace

struct LibUsbLibrary::OpenDevice {
    libusb_device* device = nullptr;
    libusb_device_handle* usb = nullptr;
    DeviceHandle token = kNoDevice;
    unsigned char endpointIn = 0;
    unsigned char endpointOut = 0;
    int packetSize = 64;
    bool claimed = false;
    bool dead = false;           // unplugged: nothing may reach libusb any more
    std::deque<std::uint8_t> rx; // bytes read ahead of the program's reads
};

std::unique_ptr<LibUsbLibrary> LibUsbLibrary::create(std::vector<UsbId> ids, std::string* error) {
    libusb_context* context = nullptr;
    const int r = libusb_init(&context);
    if (r != LIBUSB_SUCCESS) {
        if (error)
            *error = std::string("libusb could not start (") + libusb_error_name(r) +
                     "); no USB device can be reached.";
        return nullptr;
    }
    if (ids.empty())
        ids.push_back(kDefaultUsbId);
    return std::unique_ptr<LibUsbLibrary>(new LibUsbLibrary(context, std::move(ids)));
}

LibUsbLibrary::LibUsbLibrary(libusb_context* context, std::vector<UsbId> ids)
    : context_(context), ids_(std::move(ids)) {
    sink_ = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
}

LibUsbLibrary::~LibUsbLibrary() {
    if (open_)
        close(open_->token);
    forgetDevices();
    libusb_exit(context_);
}

void LibUsbLibrary::setMessageSink(std::function<void(const std::string&)> sink) {
    sink_ = std::move(sink);
}

int LibUsbLibrary::maxPacketSize() const {
    return open_ ? open_->packetSize : 0;
}

void LibUsbLibrary::forgetDevices() {
    for (libusb_device* d : devices_)
        libusb_unref_device(d);
    devices_.clear();
}

int LibUsbLibrary::getNumDevices(std::uint32_t* count) {
    if (!count)
        return kLibUsbInvalidArgument;
    forgetDevices();
    denied_.clear();
    deniedReported_ = false;

    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    if (n < 0)
        return kLibUsbIoError;
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(list[i], &desc) != LIBUSB_SUCCESS)
            continue;
        const UsbId id{desc.idVendor, desc.idProduct};
        if (std::find(ids_.begin(), ids_.end(), id) != ids_.end())
            devices_.push_back(libusb_ref_device(list[i]));
    }
    libusb_free_device_list(list, 1);
    *count = static_cast<std::uint32_t>(devices_.size());
    return kSuccess;
}

int LibUsbLibrary::getProductString(std::uint32_t index, char* buffer, std::uint32_t selector) {
    if (!buffer)
        return kLibUsbInvalidArgument;
    buffer[0] = '\0';
    if (selector != kSerialNumberSelector)
        return kLibUsbNotSupported;
    if (index >= devices_.size())
        return kLibUsbNoDevice;

    libusb_device* device = devices_[index];
    int status = kSuccess;
    libusb_device_descriptor desc{};
    if (libusb_get_device_descriptor(device, &desc) != LIBUSB_SUCCESS || desc.iSerialNumber == 0)
        status = kLibUsbNotSupported;

    // The serial can only be read over an open handle; reuse ours if this is it.
    libusb_device_handle* usb = nullptr;
    bool temporary = false;
    if (status == kSuccess) {
        if (open_ && open_->device == device) {
            status = open_->dead ? kLibUsbNoDevice : kSuccess;
            usb = open_->usb;
        } else {
            const int r = libusb_open(device, &usb);
            if (r == LIBUSB_ERROR_ACCESS) {
                denied_.push_back(hex4(desc.idVendor) + ":" + hex4(desc.idProduct) + " at bus " +
                                  std::to_string(libusb_get_bus_number(device)) + " address " +
                                  std::to_string(libusb_get_device_address(device)));
                status = kLibUsbAccessDenied;
            } else if (r != LIBUSB_SUCCESS) {
                status = r == LIBUSB_ERROR_NO_DEVICE ? kLibUsbNoDevice : kLibUsbIoError;
            }
            temporary = r == LIBUSB_SUCCESS;
        }
    }
    if (status == kSuccess) {
        auto* out = reinterpret_cast<unsigned char*>(buffer);
        const int n =
            libusb_get_string_descriptor_ascii(usb, desc.iSerialNumber, out, kStringBufferSize - 1);
        if (n < 0 && !temporary)
            status = noteFailure(*open_, n);
        else if (n < 0)
            status = n == LIBUSB_ERROR_NO_DEVICE ? kLibUsbNoDevice : kLibUsbIoError;
        buffer[std::max(n, 0)] = '\0';
    }
    if (temporary)
        libusb_close(usb);

    // The program asks for every index until one matches, so the last index
    // without a match is the moment to explain a device it could not open.
    const bool matched = status == kSuccess && appState.productString == buffer;
    if (index + 1 == devices_.size() && !matched && !denied_.empty())
        reportDenied();
    return status;
}

int LibUsbLibrary::getDeviceLocation(std::uint32_t index, char* buffer) {
    if (!buffer)
        return kLibUsbInvalidArgument;
    buffer[0] = '\0';
    if (index >= devices_.size())
        return kLibUsbNoDevice;
    libusb_device* device = devices_[index];
    std::uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth <= 0)
        return kLibUsbNotSupported; // a root hub has no port path
    std::string path = std::to_string(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i)
        path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    std::snprintf(buffer, kStringBufferSize, "%s", path.c_str());
    return kSuccess;
}

void LibUsbLibrary::reportDenied() {
    if (deniedReported_ || !sink_)
        return;
    deniedReported_ = true;
    std::string text = "KORVANTA: found";
    for (std::size_t i = 0; i < denied_.size(); ++i)
        text += (i ? ", " : " ") + denied_[i];
    text += denied_.size() > 1 ? " but could not open them" : " but could not open it";
    text += ": permission denied.\n"
            "Install the udev rule that gives the logged-in user access, then plug the "
            "device in again:\n"
            "  sudo cp resources/linux/70-korvanta.rules /etc/udev/rules.d/   (from the sources)\n"
            "  sudo udevadm control --reload\n"
            "  sudo udevadm trigger\n"
            "(see \"Troubleshooting\" in README.md)";
    sink_(text);
}

int LibUsbLibrary::open(std::uint32_t index, DeviceHandle* handle) {
    if (!handle)
        return kLibUsbInvalidArgument;
    if (index >= devices_.size())
        return kLibUsbNoDevice;
    if (open_)
        return kLibUsbInvalidArgument; // one device at a time

    auto dev = std::make_unique<OpenDevice>();
    dev->device = devices_[index];
    int r = libusb_open(dev->device, &dev->usb);
    if (r != LIBUSB_SUCCESS) {
        if (r == LIBUSB_ERROR_ACCESS)
            return kLibUsbAccessDenied;
        return r == LIBUSB_ERROR_NO_DEVICE ? kLibUsbNoDevice : kLibUsbIoError;
    }
    // A kernel driver bound to the interface gives way while we hold it; not
    // every platform can do this, and then there is nothing to detach.
    libusb_set_auto_detach_kernel_driver(dev->usb, 1);

    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(dev->device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(dev->device, 0, &config) != LIBUSB_SUCCESS)
        config = nullptr;
    for (int i = 0; config && i < config->bNumInterfaces; ++i) {
        const libusb_interface& iface = config->interface[i];
        if (iface.num_altsetting < 1 || iface.altsetting[0].bInterfaceNumber != kInterface)
            continue;
        const libusb_interface_descriptor& alt = iface.altsetting[0];
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[e];
            if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK)
                continue;
            if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN) {
                if (!dev->endpointIn) {
                    dev->endpointIn = ep.bEndpointAddress;
                    dev->packetSize = ep.wMaxPacketSize & 0x7ff;
                }
            } else if (!dev->endpointOut) {
                dev->endpointOut = ep.bEndpointAddress;
            }
        }
    }
    if (config)
        libusb_free_config_descriptor(config);
    if (dev->packetSize <= 0)
        dev->packetSize = 64; // a broken descriptor must not break the arithmetic
    if (!dev->endpointIn || !dev->endpointOut) {
        libusb_close(dev->usb);
        return kLibUsbNotSupported;
    }

    r = libusb_claim_interface(dev->usb, kInterface);
    if (r != LIBUSB_SUCCESS) {
        libusb_close(dev->usb);
        if (r == LIBUSB_ERROR_BUSY && sink_)
            sink_("KORVANTA: the device is in use by another program (its interface is "
                  "claimed); close that program and try again.");
        return r == LIBUSB_ERROR_NO_DEVICE ? kLibUsbNoDevice : kLibUsbIoError;
    }
    dev->claimed = true;
    libusb_ref_device(dev->device);
    dev->token = nextHandle_++;
    *handle = dev->token;
    open_ = std::move(dev);
    return kSuccess;
}

int LibUsbLibrary::close(DeviceHandle handle) {
    if (!open_ || handle != open_->token)
        return kLibUsbInvalidHandle;
    // Once unplugged, releasing would only fail; closing still frees the handle.
    if (open_->claimed && !open_->dead)
        libusb_release_interface(open_->usb, kInterface);
    libusb_close(open_->usb);
    libusb_unref_device(open_->device);
    open_.reset();
    return kSuccess;
}

LibUsbLibrary::OpenDevice* LibUsbLibrary::deviceFor(DeviceHandle handle, int* status) {
    if (!open_ || handle != open_->token) {
        *status = kLibUsbInvalidHandle;
        return nullptr;
    }
    if (open_->dead) {
        *status = kLibUsbNoDevice;
        return nullptr;
    }
    *status = kSuccess;
    return open_.get();
}

int LibUsbLibrary::noteFailure(OpenDevice& dev, int libusbError) {
    if (libusbError == LIBUSB_ERROR_NO_DEVICE) {
        dev.dead = true;
        dev.rx.clear();
        return kLibUsbNoDevice;
    }
    if (libusbError == LIBUSB_ERROR_TIMEOUT)
        return kLibUsbTimedOut;
    if (libusbError == LIBUSB_ERROR_PIPE)
        libusb_clear_halt(dev.usb, dev.endpointIn); // a stalled pipe stays stalled otherwise
    return kLibUsbIoError;
}

int LibUsbLibrary::pull(OpenDevice& dev, unsigned length, unsigned timeoutMs, int* got) {
    std::vector<std::uint8_t> chunk(wholePackets(length, dev.packetSize));
    int transferred = 0;
    const int r = libusb_bulk_transfer(dev.usb, dev.endpointIn, chunk.data(),
                                       static_cast<int>(chunk.size()), &transferred, timeoutMs);
    transferred = std::clamp(transferred, 0, static_cast<int>(chunk.size()));
    // Bytes that came before a timeout are real data.
    dev.rx.insert(dev.rx.end(), chunk.begin(), chunk.begin() + transferred);
    *got = transferred;
    return r;
}

int LibUsbLibrary::read(DeviceHandle handle, std::uint8_t* buffer, std::uint32_t wanted,
                        std::uint32_t* got) {
    if (!got || (!buffer && wanted))
        return kLibUsbInvalidArgument;
    *got = 0;
    int status = kSuccess;
    OpenDevice* dev = deviceFor(handle, &status);
    if (!dev)
        return status;

    // Bytes already read ahead are the reply; only an empty queue goes to the bus.
    if (dev->rx.empty() && wanted > 0) {
        int transferred = 0;
        const unsigned length = std::clamp<std::uint32_t>(wanted, kLongestReply, kLargestRead);
        const int r = pull(*dev, length, readTimeoutMs_, &transferred);
        if (r == LIBUSB_ERROR_TIMEOUT && transferred == 0)
            return kLibUsbTimedOut;
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT)
            return noteFailure(*dev, r);
    }
    const auto n = std::min<std::size_t>(wanted, dev->rx.size());
    std::copy_n(dev->rx.begin(), n, buffer);
    dev->rx.erase(dev->rx.begin(), dev->rx.begin() + static_cast<std::ptrdiff_t>(n));
    *got = static_cast<std::uint32_t>(n);
    return kSuccess;
}

int LibUsbLibrary::write(DeviceHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t* written) {
    if (!written || (!buffer && count) || count > INT_MAX)
        return kLibUsbInvalidArgument;
    *written = 0;
    int status = kSuccess;
    OpenDevice* dev = deviceFor(handle, &status);
    if (!dev)
        return status;
    int transferred = 0;
    const int r =
        libusb_bulk_transfer(dev->usb, dev->endpointOut, const_cast<std::uint8_t*>(buffer),
                             static_cast<int>(count), &transferred, writeTimeoutMs_);
    *written = static_cast<std::uint32_t>(std::clamp(transferred, 0, static_cast<int>(count)));
    // A request cut short by the timeout is not sent: the count tells how far it got.
    return r == LIBUSB_SUCCESS ? kSuccess : noteFailure(*dev, r);
}

int LibUsbLibrary::flushBuffers(DeviceHandle handle, std::uint8_t, std::uint8_t flushReceive) {
    int status = kSuccess;
    OpenDevice* dev = deviceFor(handle, &status);
    if (!dev)
        return status;
    // Writes are synchronous, so nothing waits to be transmitted.
    if (!flushReceive)
        return kSuccess;
    dev->rx.clear();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kFlushLimitMs);
    while (true) {
        int got = 0;
        const int r = pull(*dev, kLongestReply, kFlushReadTimeoutMs, &got);
        dev->rx.clear();
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT)
            return noteFailure(*dev, r);
        if (got == 0 || Clock::now() >= deadline)
            return kSuccess;
    }
}

int LibUsbLibrary::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    return kSuccess;
}

int LibUsbLibrary::getTimeouts(std::uint32_t* readMs, std::uint32_t* writeMs) {
    if (!readMs || !writeMs)
        return kLibUsbInvalidArgument;
    *readMs = readTimeoutMs_;
    *writeMs = writeTimeoutMs_;
    return kSuccess;
}

int LibUsbLibrary::checkRxQueue(DeviceHandle handle, std::uint32_t* queued,
                                std::uint32_t* queueStatus) {
    if (!queued || !queueStatus)
        return kLibUsbInvalidArgument;
    int status = kSuccess;
    OpenDevice* dev = deviceFor(handle, &status);
    if (!dev)
        return status;
    // The caller polls without sleeping, so an empty queue waits on the bus a
    // little (a non-zero timeout) instead of answering at once.
    if (dev->rx.empty()) {
        int got = 0;
        const int r = pull(*dev, kLongestReply, kQueueCheckTimeoutMs, &got);
        if (r != LIBUSB_SUCCESS && r != LIBUSB_ERROR_TIMEOUT)
            return noteFailure(*dev, r);
    }
    *queued = static_cast<std::uint32_t>(dev->rx.size());
    *queueStatus = dev->rx.empty() ? 0 : kRxReady;
    return kSuccess;
}
