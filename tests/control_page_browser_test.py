#!/usr/bin/env python3
"""The control page in a real headless browser, against a live game.

Runs `velmora-demo --control 0` (the reference host pumping a game loop, the plugin loaded, the
built-in scenario), opens the address it prints in Debian's Chromium through chromedriver, and does
what a tester does: sees user 1's inventory, finishes an installation and announces a purchase,
refunds a ledger entry when the ledger is there, and then has the game query the plugin (a line on
its standard input) to see that the game agrees with the page. A screenshot of the page is written
where --screenshot says. The demo is stopped with SIGINT and must exit 0 with nothing leaked.

usage: control_page_browser_test.py VELMORA_DEMO [--screenshot FILE.png]
"""
import argparse
import os
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions as ec
from selenium.webdriver.support.ui import WebDriverWait

WAIT_S = 20


class Game:
    """velmora-demo --control: its address, and its standard output line by line."""

    def __init__(self, demo):
        self.process = subprocess.Popen([demo, "--control", "0"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, encoding="utf-8")
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._read, args=(self.process.stdout,), daemon=True).start()
        self.stderr = []
        line = self.process.stderr.readline()
        self.stderr.append(line)
        match = re.search(r"control page at (http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32})", line)
        if not match:
            raise AssertionError("the demo printed no control page address: " + line + self.process.stderr.read())
        self.address = match.group(1)
        threading.Thread(target=self._keep, args=(self.process.stderr,), daemon=True).start()

    def _read(self, stream):
        for line in stream:
            self.lines.put(line.rstrip("\n"))

    def _keep(self, stream):
        for line in stream:
            self.stderr.append(line)

    def expect(self, pattern, what):
        """Waits for an output line matching the pattern; answers the lines read until then."""
        deadline = time.monotonic() + WAIT_S
        while time.monotonic() < deadline:
            try:
                line = self.lines.get(timeout=0.2)
            except queue.Empty:
                continue
            self.seen.append(line)
            if re.search(pattern, line):
                return
        raise AssertionError("the game never printed " + what + "; it printed:\n" + "\n".join(self.seen))

    def query(self):
        """The game queries its inventory and packages through the plugin; answers what it printed."""
        start = len(self.seen)
        self.process.stdin.write("\n")
        self.process.stdin.flush()
        self.expect(r"packages installed", "its package list")
        time.sleep(0.5)  # the package lines follow the count
        while not self.lines.empty():
            self.seen.append(self.lines.get())
        return "\n".join(self.seen[start:])

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        out, _ = self.process.communicate(timeout=WAIT_S)
        while not self.lines.empty():
            self.seen.append(self.lines.get())
        return self.process.returncode, "\n".join(self.seen) + (out or "")


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-dev-shm-usage",
                 "--user-data-dir=" + profile, "--window-size=1400,1250"):
        options.add_argument(flag)
    service = Service(shutil.which("chromedriver") or "/usr/bin/chromedriver")
    return webdriver.Chrome(service=service, options=options)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("demo")
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    game = Game(args.demo)
    profile = tempfile.mkdtemp(prefix="velmora-chromium-")
    driver = None
    try:
        base = game.address.split("/?")[0]
        # Without the token the page is not served at all.
        try:
            urllib.request.urlopen(base + "/")
            raise AssertionError("the page answered without its token")
        except urllib.error.HTTPError as e:
            check(e.code == 401, "a request without the token answered %d, not 401" % e.code)

        driver = browser(profile)
        wait = WebDriverWait(driver, WAIT_S)
        driver.get(game.address)

        # User 1's inventory, as the scenario gives it.
        glider = wait.until(ec.presence_of_element_located(
            (By.CSS_SELECTOR, 'tr[data-user="1"][data-product="9NSTRMGLIDR2"]')))
        check("Enabled" in glider.text, "the glider's row reads " + glider.text)
        gems = driver.find_element(By.CSS_SELECTOR, 'tr[data-user="1"][data-product="9NSKYGEMS105"]')
        check(gems.text.strip().endswith("250"), "the gems' row reads " + gems.text)

        # Finish an installation: the package appears, unmounted, and the game hears of it.
        driver.find_element(By.CSS_SELECTOR, 'button[data-action="install"][data-product="9NCLDTREASR3"]').click()
        package = wait.until(ec.presence_of_element_located(
            (By.CSS_SELECTOR, 'tr[data-package="9NCLDTREASR3_1.0.0.0_x64__velmora"]')))
        check("not mounted" in package.text, "the new package's row reads " + package.text)
        game.expect(r"heard of an installation: 9NCLDTREASR3_1\.0\.0\.0_x64__velmora", "the installation")

        # Announce a purchase made outside the game: the game hears of it.
        driver.find_element(By.CSS_SELECTOR, 'button[data-action="purchase"][data-product="9NDSRTLANTN4"]').click()
        game.expect(r"heard of a purchase", "the purchase notification")
        game.expect(r'ProductId="9NDSRTLANTN4"', "the purchase's receipt")

        refunded = None
        ledger = driver.find_elements(By.CSS_SELECTOR, 'button[data-action="refund"]')
        if ledger:
            # Refund the first refundable entry of user 1's: the item leaves the inventory.
            entry = ledger[0]
            row = entry.find_element(By.XPATH, "./ancestor::tr")
            refunded = row.get_attribute("data-product")
            entry.click()
            wait.until(ec.invisibility_of_element_located(
                (By.CSS_SELECTOR, 'tr[data-user="1"][data-product="%s"]' % refunded)))
        else:
            print("the ledger is not in this build: no refund to press")

        # The game, asked now, agrees with the page.
        answer = game.query()
        check("9NCLDTREASR3_1.0.0.0_x64__velmora" in answer, "the game's packages lack the new one:\n" + answer)
        check("9NSTRMGLIDR2" in answer or refunded == "9NSTRMGLIDR2", "the game's inventory:\n" + answer)
        if refunded:
            check(refunded not in answer.split("packages installed")[0],
                  "the game still owns the refunded " + refunded + ":\n" + answer)

        if args.screenshot:
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(args.screenshot)
            print("screenshot: " + args.screenshot)
    finally:
        if driver:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        status, output = game.stop()
    check(status == 0, "the demo exited %d:\n%s\n%s" % (status, output, "".join(game.stderr)))
    check("Leak" not in output, "the demo leaked:\n" + output)
    print("the control page in Chromium: the inventory, an installation, a purchase%s, and the game agrees"
          % (", a refund" if refunded else ""))
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
