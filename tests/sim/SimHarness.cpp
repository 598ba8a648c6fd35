#include "SimHarness.h"
#include "support/WaitFor.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace simtest {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void put16(Bytes& b, int v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v & 0xFF));
}

int hexDigit(int c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;  // the device writes upper case only
}

}  // namespace

Sim::Sim(const QTemporaryDir& dir, const std::vector<std::string>& args)
{
    link_ = dir.filePath("COM1").toStdString();
    errPath_ = dir.filePath("sim.err").toStdString();
    // ctest says where the build is; run by hand, the test falls back to the path it was built with.
    const char* bin = std::getenv("VEXLO_BINARY_DIR");
    const std::string exe = bin ? std::string(bin) + "/tools/qm10sim/qm10-sim" : std::string(QM10SIM_PATH);
    std::vector<std::string> all = {exe};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--link", link_});
    pid_ = ::fork();
    if (pid_ == 0) {
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(err, 2);
        ::dup2(null, 1);
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
}

Sim::~Sim()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

int Sim::wait(int timeoutMs)
{
    const auto start = Clock::now();
    while (pid_ > 0) {
        int st = 0;
        if (::waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            break;
        }
        if (msSince(start) > timeoutMs) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

std::string Sim::log() const
{
    QFile f(QString::fromStdString(errPath_));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

bool Pc::open(const std::string& path, int timeoutMs)
{
    struct stat st {};
    if (!eventually([&] { return ::stat(path.c_str(), &st) == 0; }, timeoutMs))
        return false;
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 || ::ioctl(fd_, TIOCEXCL) != 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        return false;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd_, TCSANOW, &t);
    ::tcflush(fd_, TCIOFLUSH);
    gone = false;
    return true;
}

void Pc::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void Pc::flowControl(bool on)
{
    termios t{};
    ::tcgetattr(fd_, &t);
    t.c_iflag = on ? (t.c_iflag | IXON | IXOFF) : (t.c_iflag & ~(IXON | IXOFF));
    ::tcsetattr(fd_, TCSANOW, &t);
}

bool Pc::send(const std::string& bytes, int timeoutMs)
{
    std::size_t done = 0;
    const auto start = Clock::now();
    std::optional<Clock::time_point> stalled;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            if (stalled)
                longestStallMs = std::max(longestStallMs, msSince(*stalled));
            stalled.reset();
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            gone = true;
            return false;
        }
        if (!stalled)
            stalled = Clock::now();
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 5);
        if ((p.revents & POLLHUP) || msSince(start) > timeoutMs) {
            gone = p.revents & POLLHUP;
            return false;
        }
    }
    return true;
}

int Pc::get(int timeoutMs)
{
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return -1;
    uint8_t b = 0;
    const ssize_t n = ::read(fd_, &b, 1);
    if (n == 1) {
        ++received;
        return b;
    }
    if (n < 0 && errno == EAGAIN)
        return -1;
    gone = true;
    return -2;
}

std::string recText(uint8_t type, uint16_t address, const Bytes& data, bool damage)
{
    Bytes all = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(address >> 8),
                 static_cast<uint8_t>(address), type};
    all.insert(all.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : all)
        sum = static_cast<uint8_t>(sum + b);
    all.push_back(static_cast<uint8_t>(-sum + (damage ? 1 : 0)));
    std::string text = ":";
    char buf[3];
    for (uint8_t b : all) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        text += buf;
    }
    return text;
}

std::optional<Rec> RecReader::next(Pc& pc, int timeoutMs)
{
    int c;
    while ((c = pc.get(timeoutMs)) != ':') {
        if (c < 0)
            return std::nullopt;
        junk += static_cast<char>(c);
    }
    Rec r;
    r.text = ":";
    Bytes fields;
    bool hexOk = true;
    while (fields.size() < 5 || fields.size() < 5u + fields[0]) {
        const int hi = pc.get(timeoutMs), lo = hi < 0 ? -1 : pc.get(timeoutMs);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        r.text += static_cast<char>(hi);
        r.text += static_cast<char>(lo);
        hexOk &= hexDigit(hi) >= 0 && hexDigit(lo) >= 0;
        fields.push_back(static_cast<uint8_t>(hexDigit(hi) * 16 + hexDigit(lo)));
    }
    uint8_t sum = 0;
    for (uint8_t b : fields)
        sum = static_cast<uint8_t>(sum + b);
    r.good = hexOk && sum == 0;
    r.address = static_cast<uint16_t>(fields[1] << 8 | fields[2]);
    r.type = fields[3];
    r.data.assign(fields.begin() + 4, fields.end() - 1);
    return r;
}

std::vector<std::string> pcChain(const QImage& image, const Bytes& title, const Bytes& reading)
{
    const int w = image.width(), h = image.height(), b = (w + 7) / 8;
    std::vector<std::string> chain = {recText(0x02, 0x0000, {0x9F, 0x20}), recText(0x00, 0x0000, title),
                                      recText(0x00, 0x8000, reading)};
    Bytes header = {0x01, 0x41, 0x53};
    put16(header, w);
    put16(header, h);
    put16(header, b * h);
    chain.push_back(recText(0x80, 0xA000, header));
    for (int first = 0; first < h; first += 116 / b) {
        Bytes data;
        put16(data, first);
        for (int y = first; y < std::min(h, first + 116 / b); ++y)
            for (int k = 0; k < b; ++k) {
                uint8_t byte = 0;
                for (int i = 0; i < 8 && 8 * k + i < w; ++i)
                    if (black(image, 8 * k + i, y))
                        byte |= static_cast<uint8_t>(0x80 >> i);
                data.push_back(byte);
            }
        chain.push_back(recText(0x00, 0xA000, data));
    }
    chain.push_back(":00000001FF");
    return chain;
}

QImage pattern(int width, int height, unsigned seed)
{
    QImage img(width, height, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, rng() % 3 == 0 ? 1 : 0);
    return img;
}

bool black(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 128; }

bool sameImage(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (black(a, x, y) != black(b, x, y))
                return false;
    return true;
}

namespace {

// Checks one memo's records in the device's layout and draws its picture.
void readDeviceMemo(DeviceMemo& m)
{
    const auto& r = m.records;
    auto fail = [&](const std::string& why) { m.fault = why; };
    if (r.size() < 6)
        return fail("fewer than six records");
    if (r[0].text != ":020000029F203D")
        return fail("first record is not the segment record: " + r[0].text);
    if (r[1].type != 0 || r[1].address != 0 || r[1].data.size() % 2)
        return fail("second record is not a title record");
    if (r[2].type != 0 || r[2].address != 0x8000)
        return fail("third record is not a reading record");
    const Bytes& h = r[3].data;
    if (r[3].type != 0x80 || r[3].address != 0xA000 || h.size() != 9 || h[0] != 1 || h[1] != 'A' || h[2] != 'S')
        return fail("fourth record is not an image header");
    const int w = h[3] << 8 | h[4], ht = h[5] << 8 | h[6], total = h[7] << 8 | h[8], rowBytes = w / 8 + 1;
    if (w < 1 || w > 124 || ht < 1 || ht > 121 || total != rowBytes * ht)
        return fail("image header " + std::to_string(w) + "x" + std::to_string(ht) + " total " + std::to_string(total));
    if (r.back().text != ":00000001FF")
        return fail("last record is not the end-of-memo record");
    m.image = QImage(w, ht, QImage::Format_Mono);
    m.image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    m.image.fill(0);
    int row = 0;
    for (std::size_t i = 4; i + 1 < r.size(); ++i) {
        const Bytes& d = r[i].data;
        if (r[i].type != 0 || r[i].address != 0xA000 || d.size() < 2 + static_cast<std::size_t>(rowBytes) ||
            d.size() > 118 || (d.size() - 2) % rowBytes || (d[0] << 8 | d[1]) != row)
            return fail("image data record " + std::to_string(i) + " is out of order or not whole rows");
        for (std::size_t k = 2; k < d.size(); ++k, row += (k - 2) % rowBytes == 0)
            for (int bit = 0; bit < 8; ++bit) {
                const int x = static_cast<int>((k - 2) % rowBytes) * 8 + bit;
                if (!(d[k] & (0x80 >> bit)))
                    continue;
                if (x >= w || row >= ht)
                    return fail("a bit set past the width");
                m.image.setPixel(x, row, 1);
            }
    }
    if (row != ht)
        fail("rows end at " + std::to_string(row) + " of " + std::to_string(ht));
}

}  // namespace

Received receiveFromDevice(Pc& pc, const std::function<char(int, const DeviceMemo&)>& verdict, int ignoreCalls,
                           int timeoutMs)
{
    Received got;
    int last = 0;
    for (;;) {  // the call: a carriage return and a line feed
        const int c = pc.get(timeoutMs);
        if (c < 0)
            return got;
        if (c == '\n' && last == '\r' && ++got.calls > ignoreCalls)
            break;
        last = c;
    }
    pc.send("\x11");
    pc.flowControl(true);
    RecReader reader;
    DeviceMemo memo;
    while (auto r = reader.next(pc, timeoutMs)) {
        if (!r->good) {
            ++got.badRecords;
            memo = {};
            pc.send("?");
            continue;
        }
        if (r->type == 0xFF) {
            got.ended = r->text == ":000000FF01";
            break;
        }
        memo.records.push_back(*r);
        if (r->type == 0x01) {
            readDeviceMemo(memo);
            got.memos.push_back(memo);
            pc.send(std::string(1, verdict(static_cast<int>(got.memos.size()) - 1, memo)));
            memo = {};
        }
    }
    got.junk = reader.junk;
    return got;
}

int sendToDevice(Pc& pc, const std::vector<std::string>& chain, std::string* junk, int gapMs)
{
    for (int call = 0; call < 17; ++call) {
        pc.send("\r");
        std::this_thread::sleep_for(std::chrono::milliseconds(6));
        pc.send("\n");
        int c;
        while ((c = pc.get(300)) >= 0 && c != 0x11)
            if (junk)
                *junk += static_cast<char>(c);
        if (c == 0x11)
            break;
        if (c == -2 || call == 16)
            return -1;
    }
    pc.flowControl(true);
    std::string all;
    for (const auto& r : chain) {
        all += r;
        if (gapMs > 0) {
            if (!pc.send(all))
                return -1;
            all.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        }
    }
    if (!pc.send(all))
        return -1;
    int c;
    while ((c = pc.get(5000)) >= 0 && c != '#' && c != '?' && c != '!')
        if (junk)
            *junk += static_cast<char>(c);
    return c < 0 ? -1 : c;
}

}  // namespace simtest
