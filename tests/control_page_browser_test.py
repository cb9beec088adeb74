#!/usr/bin/env python3
"""The control page in a real headless browser, against a live game.

Runs `velmora-demo --control 0` (the reference host pumping a game loop, the plugin loaded, the
built-in scenario), opens the address it prints in Debian's Chromium through chromedriver, and does
what a tester does: sees user 1's inventory, finishes an installation, buys a product from outside
the game and sees it in the inventory and the ledger, presses Refund on that ledger entry and sees
the inventory change, and then has the game query the plugin (a line on its standard input) to see
that the game agrees with the page. A screenshot of the page is written
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
from selenium.common.exceptions import StaleElementReferenceException
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


def click(driver, selector):
    """Clicks the element, found again if the page redrew its section in between (it polls every second)."""
    for attempt in range(10):
        try:
            WebDriverWait(driver, WAIT_S).until(ec.element_to_be_clickable((By.CSS_SELECTOR, selector))).click()
            return
        except StaleElementReferenceException:
            time.sleep(0.1)
    raise AssertionError("could not click " + selector)


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
            (By.CSS_SELECTOR, '#user-list tr[data-user="1"][data-product="9NSTRMGLIDR2"]')))
        check("Enabled" in glider.text, "the glider's row reads " + glider.text)
        gems = driver.find_element(By.CSS_SELECTOR, '#user-list tr[data-user="1"][data-product="9NSKYGEMS105"]')
        check(gems.text.strip().endswith("250"), "the gems' row reads " + gems.text)

        # Finish an installation: the package appears, unmounted, and the game hears of it.
        click(driver, 'button[data-action="install"][data-product="9NCLDTREASR3"]')
        package = wait.until(ec.presence_of_element_located(
            (By.CSS_SELECTOR, 'tr[data-package="9NCLDTREASR3_1.0.0.0_x64__velmora"]')))
        check("not mounted" in package.text, "the new package's row reads " + package.text)
        game.expect(r"heard of an installation: 9NCLDTREASR3_1\.0\.0\.0_x64__velmora", "the installation")

        # Buy the expansion from outside the game for user 1: it enters the inventory and the
        # ledger, and the game hears of it.
        buyer = driver.find_element(By.ID, "purchase-user")
        check(buyer.get_attribute("value") == "1", "the purchases are for user " + buyer.get_attribute("value"))
        click(driver, 'button[data-action="buy"][data-product="9NCLDTREASR3"]')
        wait.until(ec.presence_of_element_located((By.CSS_SELECTOR, '#user-list tr[data-user="1"][data-product="9NCLDTREASR3"]')))
        game.expect(r"heard of a purchase", "the purchase notification")
        game.expect(r'Source="Purchase" ProductId="9NCLDTREASR3"', "the purchase's receipt")
        entry = wait.until(ec.presence_of_element_located(
            (By.CSS_SELECTOR, '#ledger-list tr[data-product="9NCLDTREASR3"]')))
        check("Granted" in entry.text, "the ledger entry reads " + entry.text)
        check("9NCLDTREASR3" in game.query().split("packages installed")[0], "the game does not own what was bought")

        # Announce a purchase only: the game hears of it, nothing is granted.
        click(driver, 'button[data-action="announce"][data-product="9NDSRTLANTN4"]')
        game.expect(r'Source="Raised" ProductId="9NDSRTLANTN4"', "the announced purchase's receipt")
        wait.until(ec.presence_of_element_located((By.CSS_SELECTOR, '#ledger-list tr[data-product="9NDSRTLANTN4"]')))

        if args.screenshot:  # the page as a tester finds it: a purchase in the ledger, ready to refund
            driver.execute_script("window.scrollTo(0, 0)")
            driver.save_screenshot(args.screenshot)
            print("screenshot: " + args.screenshot)

        # Refund the purchase on its ledger entry: the item leaves the inventory.
        click(driver, '#ledger-list tr[data-product="9NCLDTREASR3"] button[data-action="refund"]')
        wait.until(ec.invisibility_of_element_located((By.CSS_SELECTOR, '#user-list tr[data-user="1"][data-product="9NCLDTREASR3"]')))
        refunds = wait.until(lambda d: [r for r in d.find_elements(By.CSS_SELECTOR, "#ledger-list tr")
                                        if "Refunded" in r.text])
        check(len(refunds) == 1, "one refund in the ledger")
        refunded = "9NCLDTREASR3"
        check(driver.find_elements(By.CSS_SELECTOR, '#user-list tr[data-user="1"][data-product="9NSKYGEMS105"]'),
              "the refund took the gems too")

        # The game, asked now, agrees with the page.
        answer = game.query()
        owned = answer.split("packages installed")[0]
        check("9NCLDTREASR3_1.0.0.0_x64__velmora" in answer, "the game's packages lack the new one:\n" + answer)
        check("9NSTRMGLIDR2" in owned and "balance 250" in owned, "the game's inventory:\n" + answer)
        check(refunded not in owned, "the game still owns the refunded " + refunded + ":\n" + answer)

    finally:
        if driver:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        status, output = game.stop()
    check(status == 0, "the demo exited %d:\n%s\n%s" % (status, output, "".join(game.stderr)))
    check("Leak" not in output, "the demo leaked:\n" + output)
    print("the control page in Chromium: the inventory, an installation, a purchase bought and refunded, one"
          " announced, and the game agrees")
    print("1 passed, 0 failed")


if __name__ == "__main__":
    main()
