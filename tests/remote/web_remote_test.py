#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The web remote in a real browser: headless Chromium opens the page served by
`quorvell-cli serve` for two simulated processors, picks the second, changes one band's gain,
and only that processor must receive exactly that one CmdEqBand; with a group of both chosen,
the next edit must reach both. Exits 77 (skipped) when Chromium, its driver or Selenium is
missing. With QUORVELL_WEB_SCREENSHOT=FILE the page is saved there once the edits are shown.

Where strace exists the whole run is traced (connect, sendto, sendmsg), inside a
loopback-only network namespace where one can be made, and fails if anything asked a name
server or addressed a host outside loopback."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SIM_IP, SIM2_IP, LINK_IP, UDP_PORT, HTTP_PORT = "127.0.26.2", "127.0.26.3", "127.0.26.1", 42630, 43630
URL = f"http://{LINK_IP}:{HTTP_PORT}/"


def skip(why):
    print(f"SKIPPED: {why}")
    sys.exit(77)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    skip("python3-selenium is not installed")
chromium = shutil.which("chromium")
driver_path = shutil.which("chromedriver")
if not chromium or not driver_path:
    skip("chromium or chromium-driver is not installed")


def sim_commands(log_path):
    """Every command the simulators logged except the connect handshake, as (processor
    address, entry)."""
    with open(log_path, encoding="utf-8") as f:
        entries = [json.loads(line) for line in f if line.strip()]
    return [(e["processor"].split(":")[0], e) for e in entries if e.get("command") != "CmdConnect"]


def wait(predicate, seconds, what):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


LOOPBACK = re.compile(r'inet_addr\("127\.|inet_pton\(AF_INET6, "::1"')
ADDRESS = re.compile(r'inet_addr\("[^"]+"\)|inet_pton\(AF_INET6, "[^"]+"')
# Chromium's IPv6 reachability check connects a UDP socket to this address: that asks the
# routing table and sends nothing.
IPV6_PROBE = 'inet_pton(AF_INET6, "2001:4860:4860::8888"'


def off_loopback(trace_path):
    """The traced calls that looked a name up (port 53) or addressed a non-loopback host."""
    found = []
    with open(trace_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if "htons(53)" in line:
                found.append(line.strip())
            elif ADDRESS.search(line) and not LOOPBACK.search(line):
                if not (" connect(" in line and IPV6_PROBE in line):
                    found.append(line.strip())
    return found


def already_traced():
    """True when a tracer (an outer strace of the whole suite) is attached to this process;
    a second one cannot attach, and the outer trace sees every call anyway."""
    try:
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("TracerPid:"):
                    return int(line.split()[1]) != 0
    except OSError:
        pass
    return False


def traced(argv):
    """Runs this test again under strace, in a loopback-only namespace when one can be made;
    its exit status, after failing it for any traced call that left loopback."""
    if not shutil.which("strace"):
        print("strace is missing: the run is not traced")
        return None
    if already_traced():
        print("already run under a tracer: that trace covers this run")
        return None
    env = dict(os.environ, QUORVELL_WEB_TRACED="1")
    with tempfile.TemporaryDirectory(prefix="quorvell-web-trace-") as work:
        trace = os.path.join(work, "trace")
        command = ["strace", "-f", "-qq", "-e", "trace=connect,sendto,sendmsg", "-o", trace,
                   sys.executable, *argv]
        isolated = shutil.which("unshare") and shutil.which("ip") and subprocess.run(
            ["unshare", "-n", "ip", "link", "set", "lo", "up"], capture_output=True).returncode == 0
        if isolated:
            command = ["unshare", "-n", "sh", "-c", 'ip link set lo up && exec "$@"', "sh", *command]
        else:
            print("no network namespace can be made here: traced without one")
        status = subprocess.run(command, env=env).returncode
        if status != 0:
            return status
        leaks = off_loopback(trace)
        for line in leaks[:20]:
            print(f"left loopback: {line}")
        if leaks:
            return 1
        print("no name was looked up and nothing addressed a host outside 127.0.0.0/8"
              + (" (loopback-only namespace)" if isolated else ""))
        return 0


def main(sim_path, cli_path):
    work = tempfile.mkdtemp(prefix="quorvell-web-")
    log = os.path.join(work, "sim.log")
    sim = subprocess.Popen([sim_path, "--address", SIM_IP, "--count", "2", "--port", str(UDP_PORT),
                            "--log", log],
                           stdout=subprocess.DEVNULL)
    serve = subprocess.Popen([cli_path, "--data-dir", os.path.join(work, "data"), "--bind", LINK_IP,
                              "--port", str(UDP_PORT), "serve", "--http", f"{LINK_IP}:{HTTP_PORT}",
                              "--device", SIM_IP, "--device", SIM2_IP], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    driver = None
    try:
        def linked():
            try:
                with urllib.request.urlopen(URL + "api/v1/devices", timeout=1) as r:
                    return [d["link"] for d in json.load(r)["linked"]] == ["up", "up"]
            except OSError:
                return False
        wait(linked, 15, "both links")
        both = json.dumps({"devices": [SIM_IP, SIM2_IP]}).encode()
        urllib.request.urlopen(urllib.request.Request(URL + "api/v1/groups/both", both, method="PUT",
                                                      headers={"Content-Type": "application/json"}))

        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        # The page is reached by address literal; every name the browser would look up on
        # its own (updates, sync, a start page) fails at once instead of asking a server.
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     f"--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE {LINK_IP}", "--homepage=about:blank",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-default-apps", "--disable-extensions",
                     f"--user-data-dir={os.path.join(work, 'chrome')}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(driver_path), options=options)
        driver.get(URL)
        page = WebDriverWait(driver, 15)
        page.until(lambda d: d.find_element(By.ID, "link").text == "up")
        page.until(lambda d: d.find_element(By.ID, "ch2-band4-gain").get_attribute("value") == "0")
        # The response plot is drawn on load, in the panel's colours (CH1 orange #ffb74d, CH2
        # blue #4fc3f7); while both are flat CH2's line covers CH1's.
        count_colours = """
            const c = document.getElementById("curve");
            const px = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
            let orange = 0, blue = 0;
            for (let i = 0; i < px.length; i += 4) {
              if (px[i] === 0xff && px[i + 1] === 0xb7 && px[i + 2] === 0x4d) orange++;
              if (px[i] === 0x4f && px[i + 1] === 0xc3 && px[i + 2] === 0xf7) blue++;
            }
            return [orange, blue];"""
        page.until(lambda d: d.execute_script(count_colours)[1] > 50)
        picker = Select(driver.find_element(By.ID, "processor"))
        page.until(lambda d: len(picker.options) == 2 and d.find_element(By.ID, "group").is_displayed())
        picker.select_by_value(SIM2_IP)
        driver.find_element(By.CSS_SELECTOR, ".tabs button[data-ch='2']").click()
        gain = driver.find_element(By.ID, "ch2-band4-gain")

        def edit(text, count):
            gain.clear()
            gain.send_keys(text)
            gain.send_keys(Keys.ENTER)
            wait(lambda: len(sim_commands(log)) >= count, 10, f"{count} commands")
            time.sleep(0.5)  # anything else the page would send arrives by now
            return sim_commands(log)

        commands = edit("-6.5", 1)
        assert len(commands) == 1, f"expected one command, got {commands}"
        to, c = commands[0]
        assert to == SIM2_IP and c["command"] == "CmdEqBand" and c["valid"], c
        fields = c["fields"]
        assert (fields["channel"], fields["band"], fields["gain"]) == (1, 4, 115), fields
        print("the second processor alone received exactly CmdEqBand channel 1 band 4 gain 115")
        # The edit redrew the plot: CH2's dip leaves CH1's flat line visible there.
        page.until(lambda d: min(d.execute_script(count_colours)) > 20)
        print("the plot shows both channels in the panel's colours")
        Select(driver.find_element(By.ID, "group")).select_by_value("both")
        commands = edit("3", 3)[1:]
        assert sorted(to for to, _ in commands) == [SIM_IP, SIM2_IP], commands
        assert commands[0][1]["bytes"] == commands[1][1]["bytes"], commands
        print("with the group chosen one edit reached both processors")
        if os.environ.get("QUORVELL_WEB_SCREENSHOT"):
            driver.set_window_size(980, 1250)
            driver.execute_script("document.activeElement.blur(); window.scrollTo(0, 0)")
            driver.save_screenshot(os.environ["QUORVELL_WEB_SCREENSHOT"])
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
    if os.environ.get("QUORVELL_WEB_TRACED") != "1":
        status = traced(sys.argv)
        if status is not None:
            sys.exit(status)
    main(sys.argv[1], sys.argv[2])
