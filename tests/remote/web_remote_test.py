#!/usr/bin/env python3
"""The web remote in a real browser: headless Chromium opens the page served by
`quorvell-cli serve`, changes one band's gain, and the simulator must receive exactly that
one CmdEqBand. Exits 77 (skipped) when Chromium, its driver or Selenium is missing."""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SIM_IP, LINK_IP, UDP_PORT, HTTP_PORT = "127.0.26.2", "127.0.26.1", 42630, 43630
URL = f"http://{LINK_IP}:{HTTP_PORT}/"


def skip(why):
    print(f"SKIPPED: {why}")
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("python3-selenium is not installed")
chromium = shutil.which("chromium")
driver_path = shutil.which("chromedriver")
if not chromium or not driver_path:
    skip("chromium or chromium-driver is not installed")


def sim_commands(log_path):
    """Every command the simulator logged except the connect handshake."""
    with open(log_path, encoding="utf-8") as f:
        entries = [json.loads(line) for line in f if line.strip()]
    return [e for e in entries if e.get("command") != "CmdConnect"]


def wait(predicate, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def main(sim_path, cli_path):
    work = tempfile.mkdtemp(prefix="quorvell-web-")
    log = os.path.join(work, "sim.log")
    sim = subprocess.Popen([sim_path, "--address", SIM_IP, "--port", str(UDP_PORT), "--log", log],
                           stdout=subprocess.DEVNULL)
    serve = subprocess.Popen([cli_path, "--data-dir", os.path.join(work, "data"), "--bind", LINK_IP,
                              "--port", str(UDP_PORT), "serve", "--http", f"{LINK_IP}:{HTTP_PORT}",
                              "--device", SIM_IP], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    driver = None
    try:
        def linked():
            try:
                with urllib.request.urlopen(URL + "api/v1/state", timeout=1) as r:
                    return json.load(r)["link"] == "up"
            except OSError:
                return False
        wait(linked, 15, "the link")

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     f"--user-data-dir={os.path.join(work, 'chrome')}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(driver_path), options=options)
        driver.get(URL)
        page = WebDriverWait(driver, 15)
        page.until(lambda d: d.find_element(By.ID, "link").text == "up")
        page.until(lambda d: d.find_element(By.ID, "ch2-band4-gain").get_attribute("value") == "0")
        driver.find_element(By.CSS_SELECTOR, ".tabs button[data-ch='2']").click()
        gain = driver.find_element(By.ID, "ch2-band4-gain")
        gain.clear()
        gain.send_keys("-6.5")
        gain.send_keys(Keys.ENTER)

        wait(lambda: sim_commands(log), 10, "the simulator to receive a command")
        time.sleep(0.5)  # anything else the page would send arrives by now
        commands = sim_commands(log)
        assert len(commands) == 1, f"expected one command, got {[c['command'] for c in commands]}"
        c = commands[0]
        assert c["command"] == "CmdEqBand" and c["valid"], c
        fields = c["fields"]
        assert (fields["channel"], fields["band"], fields["gain"]) == (1, 4, 115), fields
        print("the simulator received exactly CmdEqBand channel 1 band 4 gain 115")
    finally:
        if driver is not None:
            driver.quit()
        serve.send_signal(signal.SIGTERM)
        try:
            status = serve.wait(10)
        except subprocess.TimeoutExpired:
            serve.kill()
            status = "hung"
        sim.terminate()
        sim.wait(10)
        shutil.rmtree(work, ignore_errors=True)
    assert status == 0, f"serve ended with {status} on SIGTERM"


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
