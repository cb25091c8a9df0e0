#!/usr/bin/python3
"""The page in headless Chromium at phone size, on korvanta serve --http and
the simulated device.

  test_page.py KORVANTA [--screenshots DIR]

With --screenshots it draws the page in the light and the dark scheme into
DIR instead of testing."""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service as DriverService
    from selenium.webdriver.common.by import By
except ImportError:
    print("SKIPPED: python3-selenium is not installed")
    sys.exit(0)

CHROMIUM, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
KORVANTA = ""
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "edid-samples")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def wait_for(what, condition, seconds=5.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"not within {seconds} s: {what}")


class Served:
    """korvanta serve on the simulator, in folders of its own."""

    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="korvanta-page-")
        os.mkdir(os.path.join(self.dir, "run"), 0o700)
        self.port = free_port()
        self.trace = os.path.join(self.dir, "trace.log")
        self.plug = os.path.join(self.dir, "unplugged")
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("KORVANTA_")}
        self.env.update(XDG_RUNTIME_DIR=os.path.join(self.dir, "run"),
                        XDG_CONFIG_HOME=os.path.join(self.dir, "config"),
                        KORVANTA_LINK="simulator", KORVANTA_SIM_PLUG=self.plug)
        self.process = subprocess.Popen(
            [KORVANTA, "--trace", self.trace, "serve", "--poll-ms", "200", "--http", str(self.port)],
            env=self.env, stderr=subprocess.PIPE, text=True)
        said = ""
        while "the page and the API" not in said:
            line = self.process.stderr.readline()
            if not line:
                raise RuntimeError("korvanta serve did not start: " + said)
            said += line
        self.url = f"http://127.0.0.1:{self.port}/"

    def korvanta(self, *args):
        done = subprocess.run([KORVANTA, "--json", *args], env=self.env, capture_output=True,
                              text=True, timeout=30)
        return json.loads(done.stdout) if done.stdout.strip() else {}

    def stop(self):
        self.process.terminate()
        self.process.wait(10)
        self.process.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def phone(driver, height):
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": 390, "height": height, "deviceScaleFactor": 2, "mobile": True})


def browser(dark=False):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=390,844",
                 "--force-device-scale-factor=1", "--disable-dev-shm-usage"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=DriverService(DRIVER), options=options)
    # A headless window is at least 500 px wide; a phone's viewport is set instead.
    phone(driver, 844)
    if dark:
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
            "features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    return driver


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.served = Served()
        cls.driver = browser()
        cls.driver.get(cls.served.url)
        wait_for("the page to go live", lambda: cls.badge() == "live")

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.served.stop()

    @classmethod
    def badge(cls):
        return cls.driver.find_element(By.ID, "link").text

    def by_id(self, name):
        return self.driver.find_element(By.ID, name)

    def input_shown(self):
        for b in self.by_id("input-choice").find_elements(By.TAG_NAME, "button"):
            if b.get_attribute("aria-checked") == "true":
                return b.text
        return ""

    def test_1_loads_clean_at_phone_size(self):
        errors = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(errors, [])
        self.assertLessEqual(self.driver.execute_script(
            "return document.documentElement.scrollWidth"), 390)
        self.assertNotEqual(self.by_id("st-format").text, "–")
        self.assertEqual(self.input_shown(), "A")

    def test_2_input_from_the_page_reaches_the_device(self):
        before = read(self.served.trace).count("10 04 E0 00 ")
        [b] = [b for b in self.by_id("input-choice").find_elements(By.TAG_NAME, "button")
               if b.text == "B"]
        b.click()
        wait_for("the write in the trace",
                 lambda: read(self.served.trace).count("10 04 E0 00 ") > before)
        self.assertEqual(self.served.korvanta("get", "input")["settings"]["input"], "b")
        wait_for("the page to show B", lambda: self.input_shown() == "B")
        wait_for("the pending mark to go", lambda: "pending" not in
                 self.by_id("input-choice").get_attribute("class"))

    def test_3_change_elsewhere_appears_within_two_polls(self):
        self.served.korvanta("set", "input=a", "hdr=off")
        wait_for("input A on the page", lambda: self.input_shown() == "A", 0.4 + 1.0)
        self.assertEqual(self.by_id("set-hdr").get_attribute("value"), "off")

    def test_4_chain_shows_the_verdicts(self):
        want = {o["name"]: o["verdict"] for o in self.served.korvanta("chain")["chain"]["outputs"]}
        self.by_id("chain-check").click()
        for name, verdict in want.items():
            leg = wait_for(f"{name} in the chain", lambda: self.driver.find_elements(
                By.ID, f"chain-{name}"))[0]
            self.assertEqual(leg.find_element(By.CLASS_NAME, "verdict").text.lower(),
                             {"wont-show": "won't show", "no-display": "no display"}.get(
                                 verdict, verdict))

    def test_5_failing_edid_is_refused_with_its_reason(self):
        sample = sorted(f for f in os.listdir(SAMPLES) if f.endswith(".bin"))[0]
        data = bytearray(read(os.path.join(SAMPLES, sample), "rb"))
        data[127] ^= 0xFF
        bad = os.path.join(self.served.dir, "bad.bin")
        with open(bad, "wb") as f:
            f.write(data)
        before = self.served.korvanta("edid", "read", "device")["edid"]
        self.by_id("edid-file").send_keys(bad)
        self.by_id("edid-check").click()
        failure = wait_for("the check's failure", lambda: self.driver.find_elements(
            By.CSS_SELECTOR, "#edid-findings li.failure"))
        self.assertIn("checksum", failure[0].text)
        self.by_id("edid-write").click()
        wait_for("the confirmation", lambda: self.by_id("confirm").get_attribute("open"))
        self.assertIn("fails", self.by_id("confirm-text").text)
        self.by_id("confirm-no").click()
        time.sleep(0.5)
        self.assertEqual(self.served.korvanta("edid", "read", "device")["edid"], before)

    def test_6_unplug_shows_the_loss_and_replug_recovers(self):
        with open(self.served.plug, "w") as f:
            f.write("unplugged\n")
        wait_for("device lost", lambda: self.badge() == "device lost")
        os.remove(self.served.plug)
        wait_for("live again", lambda: self.badge() == "live", 10)
        errors = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(errors, [])

    def test_7_scene_button_recalls(self):
        self.served.korvanta("set", "input=b")
        self.served.korvanta("scene", "save", "game", "--only", "input")
        self.served.korvanta("set", "input=a")
        self.driver.refresh()
        button = wait_for("the scene's button", lambda: [
            b for b in self.driver.find_elements(By.CSS_SELECTOR, "#scene-buttons button")
            if b.text == "game"])[0]
        self.driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", button)
        button.click()
        wait_for("the scene's input on the device",
                 lambda: self.served.korvanta("get", "input")["settings"]["input"] == "b")
        wait_for("and on the page", lambda: self.input_shown() == "B")
        # Every client hears of it, this page too.
        wait_for("the notification", lambda: "Scene game recalled from a page" in
                 self.by_id("toast").text)


def screenshots(folder):
    os.makedirs(folder, exist_ok=True)
    served = Served()
    try:
        for scheme in ("light", "dark"):
            driver = browser(dark=scheme == "dark")
            driver.get(served.url)
            wait_for("live", lambda: driver.find_element(By.ID, "link").text == "live")
            driver.find_element(By.ID, "chain-check").click()
            wait_for("the chain", lambda: driver.find_elements(By.ID, "chain-TOP"))
            height = driver.execute_script("return document.documentElement.scrollHeight")
            phone(driver, height)
            time.sleep(0.3)
            driver.save_screenshot(os.path.join(folder, f"page-phone-{scheme}.png"))
            driver.quit()
    finally:
        served.stop()


if __name__ == "__main__":
    if not CHROMIUM or not DRIVER:
        print("SKIPPED: chromium and chromium-driver are not installed")
        sys.exit(0)
    KORVANTA = os.path.abspath(sys.argv[1])
    if len(sys.argv) > 3 and sys.argv[2] == "--screenshots":
        screenshots(sys.argv[3])
        sys.exit(0)
    unittest.main(argv=[sys.argv[0], "-v"])
