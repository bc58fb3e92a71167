#!/usr/bin/python3
"""Every voice is heard while the program waits for a key.

The real program runs with SDL's disk driver writing into a FIFO: the driver
plays in real time, so the moment each block of sound reaches the FIFO is
the moment a listener would hear it. The event log is followed beside it and
each line time-stamped as it appears. At the computer-name question the key
script waits six seconds before Esc; the question ("voice"/"sound"/"image"
lines after "announce FTCOMPUT") must be heard during that wait: sound flows
after the question was handed over and is over well before the key's "stop".

One run per voice kind: the recorded voice (SAPI=N), eSpeak NG (TIPOSAPI=4)
and the built-in engine (TIPOSAPI=3, when its library and database are in
the root). Speech Dispatcher plays through its own daemon, not through this
program's device; its end notices are taken during key reads by the same
loop (a console test covers the descriptor).

Usage: voices_realtime_e2e.py NAVIRO QUIRAL_ROOT WORKDIR
"""
import os
import re
import select
import shutil
import subprocess
import sys
import threading
import time

KEY_WAIT_MS = 6000


class Recorder:
    """Reads the FIFO and follows the log, time-stamping both."""

    def __init__(self, fifo, log):
        self.fifo = fifo
        self.log = log
        self.blocks = []  # (time, sounding)
        self.lines = []  # (time, text)
        self.done = False
        self.threads = [threading.Thread(target=self.read_sound),
                        threading.Thread(target=self.follow_log)]

    def start(self):
        for t in self.threads:
            t.start()

    def stop(self):
        self.done = True
        for t in self.threads:
            t.join()

    def read_sound(self):
        # Opened for writing too: each open of the device by SDL comes and
        # goes without an end of file here, and no open blocks.
        fd = os.open(self.fifo, os.O_RDWR | os.O_NONBLOCK)
        try:
            while not self.done:
                ready, _, _ = select.select([fd], [], [], 0.02)
                if not ready:
                    continue
                try:
                    data = os.read(fd, 4096)
                except BlockingIOError:
                    continue
                now = time.monotonic()
                # Silence is 0x00 (16-bit) or 0x80 (8-bit) in every byte.
                loud = sum(1 for b in data if b not in (0x00, 0x80, 0xFF, 0x7F))
                self.blocks.append((now, loud > len(data) // 10))
        finally:
            os.close(fd)

    def follow_log(self):
        seen = b''
        while not self.done:
            try:
                with open(self.log, 'rb') as f:
                    content = f.read()
            except FileNotFoundError:
                content = b''
            if len(content) > len(seen):
                now = time.monotonic()
                fresh = content[len(seen):]
                complete = fresh.rfind(b'\n') + 1
                for line in fresh[:complete].decode('utf-8', 'replace').splitlines():
                    self.lines.append((now, line))
                seen += fresh[:complete]
            time.sleep(0.002)


def run(naviro, root, work, name, sapi, kind):
    d = os.path.join(work, name)
    os.makedirs(d)
    no_messages = os.path.join(work, 'no-messages')
    os.makedirs(no_messages, exist_ok=True)
    with open(os.path.join(root, 'QUIRAL.INI'), encoding='latin-1') as f:
        ini = f.read()
    ini = re.sub(r'(?m)^SAPI=.*$', 'SAPI=' + sapi, ini)
    ini = re.sub(r'(?m)^TIPOSAPI=.*$', 'TIPOSAPI=%d' % kind, ini)
    ini = re.sub(r'(?m)^DIRNAVIRO=.*$', 'DIRNAVIRO=' + no_messages, ini)
    with open(os.path.join(d, 'QUIRAL.INI'), 'w', encoding='latin-1') as f:
        f.write(ini)
    with open(os.path.join(d, 'keys.txt'), 'w') as f:
        f.write('{until Nome do computador:}{wait %d}{Esc}' % KEY_WAIT_MS)
    fifo = os.path.join(d, 'sound.fifo')
    os.mkfifo(fifo)
    log = os.path.join(d, 'log.txt')
    env = dict(os.environ, SDL_AUDIODRIVER='disk', SDL_DISKAUDIOFILE=fifo,
               QUIRAL_CONSOLE='script', QUIRAL_AUDIO='sdl',
               QUIRAL_KEYS=os.path.join(d, 'keys.txt'),
               QUIRAL_SCREEN=os.path.join(d, 'screen.txt'), QUIRAL_LOG=log,
               QUIRAL_ROOT=root, QUIRAL_SYSDIR=d,
               QUIRAL_REGISTRY=os.path.join(d, 'registry.reg'))
    recorder = Recorder(fifo, log)
    recorder.start()
    with open(os.path.join(d, 'stderr.txt'), 'wb') as err:
        rc = subprocess.call([naviro], env=env, stderr=err, cwd=d, timeout=60)
    time.sleep(0.1)
    recorder.stop()
    return rc, recorder


def judge(name, rc, rec, want_voice_line):
    problems = []
    if rc != 0:
        problems.append('exit code %d' % rc)
    lines = rec.lines
    asked = next((i for i, (_, l) in enumerate(lines) if l == 'announce FTCOMPUT'), None)
    if asked is None:
        return problems + ['the question was never asked']
    said = next((t for t, l in lines[asked:] if re.match(want_voice_line, l)), None)
    key = next((t for t, l in lines[asked:] if l == 'stop' or l.startswith('caption')), None)
    if said is None or key is None:
        return problems + ['no %r or no key after the question' % want_voice_line]
    heard = [t for t, loud in rec.blocks if loud and said <= t <= key]
    span = (heard[-1] - heard[0]) if heard else 0.0
    print('%s: key %.0f ms after the question; sound heard from +%.0f to +%.0f ms (%d blocks)'
          % (name, (key - said) * 1000, ((heard[0] - said) * 1000) if heard else -1,
             ((heard[-1] - said) * 1000) if heard else -1, len(heard)))
    if span < 0.4:
        problems.append('the question was not heard while the program waited for the key')
    elif key - heard[-1] < 0.5:
        problems.append('the question was still sounding when the key came (heard late)')
    return problems


def main():
    naviro, root, work = sys.argv[1:4]
    if not os.path.isdir(os.path.join(root, 'som', 'letras')):
        print('no generated sound library in', root)
        return 77
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    runs = [('recorded', 'N', 4, r'^(sound|image|char) '),
            ('espeak', 'S', 4, r'^voice Nome do computador')]
    if os.path.isfile(os.path.join(root, 'mbrola.so')) and \
            os.path.isfile(os.path.join(root, 'coraltts', 'br4')):
        runs.append(('builtin', 'S', 3, r'^voice Nome do computador'))
    failed = False
    for name, sapi, kind, want in runs:
        rc, rec = run(naviro, root, work, name, sapi, kind)
        problems = judge(name, rc, rec, want)
        if problems:
            failed = True
            print('FAILED %s: %s' % (name, '; '.join(problems)))
            for t, l in rec.lines:
                print('  %8.0f %s' % ((t - rec.lines[0][0]) * 1000, l))
    if failed:
        return 1
    print('voices real-time e2e: %d voices heard during the key wait' % len(runs))
    return 0


if __name__ == '__main__':
    sys.exit(main())
