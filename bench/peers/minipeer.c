/* minipeer — the least a PC needs to do to exchange one memo with the device: a measuring stick
 * for the link benchmark (bench/peers/link_peer_bench.py), not part of VEXLO.
 *
 *   minipeer send LINE BAUD CHAIN   calls the device (CR, LF) until it answers DC1, writes the
 *                                   records of CHAIN (a file, one record a line, as
 *                                   `vexlo-cli encode` prints them) at the line's pace, waits
 *                                   for "#" (again from the first record on "?"), ends with
 *                                   the end-of-exchange record
 *   minipeer receive LINE BAUD DIR  answers the call with DC1, keeps each memo's records in
 *                                   DIR (written, synced, renamed into place and the folder
 *                                   synced) before it answers "#", "?" for
 *                                   a record whose checksum is wrong, until the end record
 *
 * Once the device has answered the call it says "records" on standard error. Its writes stay
 * at most 150 ms ahead of the line, in shares of 100 ms, and while a record comes in it
 * sleeps for the time the rest of it takes: one wake-up a share or a record, as VEXLO.
 * Exit status 0 when the exchange went through. */
#define _DEFAULT_SOURCE /* cfmakeraw */
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

static int fd;
static long long byte_ns; /* one character's time on the line: 10 bits */

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static void sleep_until(long long t)
{
    struct timespec s = {t / 1000000000LL, t % 1000000000LL};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &s, NULL) != 0) {
    }
}

static void put(const char *s, size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, s, n);
        if (k <= 0) {
            perror("minipeer: write");
            exit(1);
        }
        s += k, n -= (size_t)k;
    }
    tcdrain(fd); /* a real line: back when it has gone; a pseudo-terminal says nothing */
}

static int get(int timeout_ms) /* one byte, or -1 after TIMEOUT_MS (-1: no limit) */
{
    unsigned char c;
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || read(fd, &c, 1) != 1)
        return -1;
    return c;
}

static void line(int flow)
{
    struct termios t;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_iflag = flow ? IXON | IXOFF : 0;
    t.c_cc[VMIN] = 0, t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

static int hex(int c) { return (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10) & 15; }

/* The characters of the record that begins REC and holds LEN so far: 9 until its length shows. */
static int record_chars(const char *rec, int len) { return len < 3 ? 9 : 11 + 2 * (hex(rec[1]) * 16 + hex(rec[2])); }

static int send_memo(const char *chain, size_t n)
{
    for (;;) {
        long long start = now_ns();
        for (size_t at = 0; at < n;) { /* up to 150 ms ahead, then sleep until 50 ms are left */
            long long ahead = start + (long long)at * byte_ns - now_ns();
            size_t share = (size_t)((150000000LL - (ahead > 0 ? ahead : 0)) / byte_ns);
            if (share > n - at)
                share = n - at;
            put(chain + at, share);
            at += share;
            if (at < n)
                sleep_until(start + (long long)at * byte_ns - 50000000LL);
        }
        for (int c = 0; c != '?';) {
            if ((c = get(30000)) == '#' || c == '!' || c == '"' || c < 0)
                return c == '#';
        }
    }
}

static int receive_memos(const char *dir)
{
    char rec[600], part[4096], path[4096];
    int len = -1, memo = 0, bad = 0, folder = open(dir, O_RDONLY | O_DIRECTORY);
    FILE *out = NULL;
    for (;;) {
        struct pollfd p = {fd, POLLIN, 0};
        if (len >= 0) /* the rest of a record: sleep while it comes */
            sleep_until(now_ns() + (record_chars(rec, len) - len) * byte_ns + 1000000LL);
        else if (poll(&p, 1, -1) < 0 || (p.revents & (POLLHUP | POLLERR)))
            return 0;
        char buf[4096];
        ssize_t got = read(fd, buf, sizeof buf);
        for (ssize_t i = 0; i < got; ++i) {
            if (len < 0 && buf[i] != ':')
                continue;
            if (len < 0)
                len = 0;
            rec[len++] = buf[i];
            if (len < record_chars(rec, len))
                continue;
            int sum = 0;
            for (int k = 1; k < len; k += 2)
                sum += hex(rec[k]) * 16 + hex(rec[k + 1]);
            int type = hex(rec[7]) * 16 + hex(rec[8]);
            bad |= (sum & 0xFF) != 0;
            if (type == 0xFF && !bad)
                return 1;
            if (!out) {
                snprintf(part, sizeof part, "%s/memo.part", dir);
                snprintf(path, sizeof path, "%s/memo-%03d.hex", dir, ++memo);
                if (folder < 0 || !(out = fopen(part, "w")))
                    return perror(part), 0;
            }
            fprintf(out, "%.*s\n", len, rec);
            len = -1;
            if (type == 0x01 || bad) { /* the memo's end, or a damaged record: answer */
                fflush(out), fsync(fileno(out)), fclose(out), out = NULL;
                if (bad) /* a memo on disk before its "#": written, synced, named, its folder synced */
                    unlink(part), --memo;
                else if (rename(part, path) != 0 || fsync(folder) != 0)
                    return perror(path), 0;
                put(bad ? "?" : "#", 1);
                bad = 0;
            }
        }
    }
}

int main(int argc, char **argv)
{
    if (argc != 5 || (strcmp(argv[1], "send") && strcmp(argv[1], "receive"))) {
        fprintf(stderr, "usage: minipeer send LINE BAUD CHAIN | minipeer receive LINE BAUD DIR\n");
        return 2;
    }
    const int sending = !strcmp(argv[1], "send");
    const long baud = atol(argv[3]);
    const speed_t code = baud == 9600 ? B9600 : baud == 19200 ? B19200 : baud == 38400 ? B38400 : B4800;
    byte_ns = 10000000000LL / baud;
    char chain[16384];
    size_t n = 0;
    if (sending) { /* the records back to back, without their line ends */
        FILE *f = fopen(argv[4], "r");
        for (int c; f && (c = getc(f)) != EOF && n < sizeof chain;)
            if (c != '\n' && c != '\r')
                chain[n++] = (char)c;
        if (!f || n == 0)
            return perror(argv[4]), 1;
    }
    if ((fd = open(argv[2], O_RDWR | O_NOCTTY)) < 0)
        return perror(argv[2]), 1;
    struct termios t;
    tcgetattr(fd, &t);
    cfsetispeed(&t, code), cfsetospeed(&t, code);
    tcsetattr(fd, TCSANOW, &t);
    line(0);
    tcflush(fd, TCIOFLUSH);
    int ok;
    if (sending) {
        for (int c = -1, calls = 0; c != 0x11; ++calls) { /* CR, a tick, LF; DC1 within 55 ms */
            if (calls == 17)
                return fprintf(stderr, "minipeer: no answer\n"), 1;
            put("\r", 1), sleep_until(now_ns() + 5000000LL), put("\n", 1);
            for (long long end = now_ns() + 55000000LL; c != 0x11 && now_ns() < end;)
                c = get(55);
        }
        line(1);
        tcflush(fd, TCIOFLUSH);
        fprintf(stderr, "records\n");
        ok = send_memo(chain, n);
        put(ok ? ":000000FF01" : "!", ok ? 11 : 1);
    } else {
        for (int c = 0, last = 0; !(last == '\r' && c == '\n');)
            if (last = c, (c = get(-1)) < 0)
                return 1;
        put("\x11", 1);
        line(1);
        fprintf(stderr, "records\n");
        ok = receive_memos(argv[4]);
        if (!ok)
            put("!", 1);
    }
    sleep_until(now_ns() + 11 * byte_ns); /* the last answer's time on the line, then close */
    close(fd);
    return ok ? 0 : 1;
}
