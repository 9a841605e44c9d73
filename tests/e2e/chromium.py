"""Headless Chromium for the browser tests, at a teacher's screen size, with
a profile of its own."""
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def browser(extra_args=()):
    """(driver, profile directory); the caller quits the driver and removes
    the profile."""
    profile = tempfile.mkdtemp(prefix="chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--window-size=1366,768", "--user-data-dir=" + profile) + tuple(extra_args):
        options.add_argument(arg)
    try:
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    except Exception:
        shutil.rmtree(profile, True)
        raise
    # The window size includes the browser's own frame: the page gets exactly
    # the screen size.
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 1366, "height": 768, "deviceScaleFactor": 1, "mobile": False})
    return driver, profile
