#!/usr/bin/python3
"""The web page in a real browser (Debian's headless Chromium through
/usr/bin/chromedriver), against the real server and sohbet-web, with a raw
TCP client on the chat and leave channels as the other side.

Usage: tst_browser_e2e.py SERVER GATEWAY, where SERVER is the headless
server host (bench/benchhost) and GATEWAY is sohbet-web. It moves itself into
a network namespace of its own first, so the fixed ports and 8080 are its
alone; without root it cannot, and it is skipped (exit status 77).
"""
import ctypes
import os
import socket
import subprocess
import sys
import tempfile
import unittest

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.wait import WebDriverWait

CLONE_NEWNET = 0x40000000
CHAT_PORT, LEAVE_PORT, GATEWAY_PORT = 10420, 10081, 8080
WAIT_S = 20
SKIPPED = 77


def private_network():
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNET) != 0:
        return False
    return subprocess.run(['ip', 'link', 'set', 'lo', 'up']).returncode == 0


def wait_for(condition, what):
    return WebDriverWait(None, WAIT_S, poll_frequency=0.05).until(lambda _: condition(), what)


def accepts(port):
    try:
        socket.create_connection(('127.0.0.1', port), timeout=1).close()
        return True
    except OSError:
        return False


class RawClient:
    """One TCP connection to a channel, kept as bytes."""

    def __init__(self, port):
        self.sock = socket.create_connection(('127.0.0.1', port), timeout=WAIT_S)
        self.got = b''

    def send(self, data):
        self.sock.sendall(data)

    def receive_until(self, expected):
        self.sock.settimeout(WAIT_S)
        try:
            while expected not in self.got:
                chunk = self.sock.recv(65536)
                if not chunk:
                    break
                self.got += chunk
        except TimeoutError:
            pass
        return expected in self.got


class BrowserE2e(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.processes = []
        env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
        cls.start([SERVER, '300'], env)
        wait_for(lambda: accepts(CHAT_PORT), 'the server did not listen')
        cls.env = env
        cls.start_gateway()
        cls.profile = tempfile.TemporaryDirectory()
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run',
                         '--disable-background-networking', '--disable-component-update',
                         '--user-data-dir=' + cls.profile.name):
            options.add_argument(argument)
        options.set_capability('goog:loggingPrefs', {'browser': 'SEVERE'})
        cls.driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)

    @classmethod
    def start(cls, command, env):
        cls.processes.append(subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL))

    @classmethod
    def start_gateway(cls):
        cls.start([GATEWAY], cls.env)
        wait_for(lambda: accepts(GATEWAY_PORT), 'sohbet-web did not listen')

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.profile.cleanup()
        for process in cls.processes:
            process.terminate()
            process.wait(WAIT_S)

    # Controls are found as a screen reader finds them: by accessible name.
    def control(self, name):
        for element in self.driver.find_elements(By.CSS_SELECTOR, 'input, button, [role=log], ul'):
            if element.accessible_name == name:
                return element
        self.fail(f'no control named "{name}"')

    def entries(self):
        return [entry.get_attribute('textContent') for entry in self.conversation.find_elements(By.XPATH, './*')]

    def wait_for_entry(self, text):
        try:
            wait_for(lambda: text in self.entries(), '')
        except TimeoutException:
            status = self.driver.find_element(By.CSS_SELECTOR, '[role=status]').text
            self.fail(f'the page never showed "{text}"; it shows {self.entries()}, status "{status}"')

    def test_page_talks_with_a_raw_client(self):
        chat = RawClient(CHAT_PORT)
        leave = RawClient(LEAVE_PORT)
        driver = self.driver
        driver.get(f'http://127.0.0.1:{GATEWAY_PORT}/')
        self.control('Lakap').send_keys('Çiğdem')
        self.control('Bağlan').click()
        self.conversation = self.control('Yazışma metni')
        self.wait_for_entry('Çiğdem sohbete katıldı.')

        self.control('Mesaj').send_keys('Günaydın, ışıklar söndü mü?', Keys.ENTER)
        self.assertTrue(chat.receive_until('<Çiğdem> Günaydın, ışıklar söndü mü?'.encode()), chat.got)

        chat.send('<Oğuz> Evet, şimdi söndü.'.encode())
        self.wait_for_entry('<Oğuz> Evet, şimdi söndü.')

        markup = '<img src=x onerror="this.remove()"><i>eğik</i>'
        chat.send(markup.encode())
        self.wait_for_entry(markup)
        self.assertEqual(self.conversation.find_elements(By.CSS_SELECTOR, 'img, i'), [])

        # Nothing was refused (the gateway's Content-Security-Policy allows
        # no inline script or style) and no script failed.
        self.assertEqual(driver.get_log('browser'), [])

        # The gateway restarts: the page joins again by itself, as the same user.
        gateway = self.processes[-1]
        gateway.terminate()
        gateway.wait(WAIT_S)
        self.assertTrue(leave.receive_until('Çiğdem'.encode()), leave.got)
        leave.got = b''
        self.start_gateway()
        wait_for(lambda: self.entries().count('Çiğdem sohbete katıldı.') == 2, 'the page did not join again')
        self.control('Mesaj').send_keys('Geri geldim.', Keys.ENTER)
        self.assertTrue(chat.receive_until('<Çiğdem> Geri geldim.'.encode()), chat.got)

        # Closing the tab, with the browser still running, is the leave.
        page = driver.current_window_handle
        driver.switch_to.new_window('tab')
        other = driver.current_window_handle
        driver.switch_to.window(page)
        driver.close()
        driver.switch_to.window(other)
        self.assertTrue(leave.receive_until('Çiğdem'.encode()), leave.got)


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    SERVER, GATEWAY = sys.argv[1], sys.argv[2]
    if not private_network():
        print('skipped: needs root to make a network namespace of its own')
        sys.exit(SKIPPED)
    unittest.main(argv=sys.argv[:1], verbosity=2)
