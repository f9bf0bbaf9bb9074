import { boardFields, launchBrowser, openPage, startServer } from "./support.mjs";
const browser = await launchBrowser();
const server = await startServer(process.argv[2], [
  { employee: "Doe,Jane", department: "Sales", status: "In" },
  { employee: "Roe,Rick", department: "Support", status: "In" }].map((p) => boardFields({ password: "pw", ...p })));
try {
  const problems = [];
  const page = await openPage(browser, 1280, 1100, problems);
  await page.goto(`${server.base}/admin`);
  await page.fill("#f-password", "office-keys-1");
  await page.fill("#f-again", "office-keys-1");
  await page.click("form.set-up button[type=submit]");
  await page.waitForTimeout(800);
  await page.goto(`${server.base}/admin#absences`);
  await page.locator(".calendar-line").first().waitFor();
  await page.fill("#c-hosts", "127.0.0.1");
  await page.click("button:has-text('Save hosts')");
  await page.waitForTimeout(500);
  await page.locator('.calendar-line[data-employee="Doe,Jane"] input').fill("webcal://localhost:1/nothing.ics");
  await page.click('.calendar-line[data-employee="Doe,Jane"] button:has-text("Save")');
  await page.waitForTimeout(2500);
  await page.goto(`${server.base}/admin#absences`);
  await page.waitForTimeout(1500);
  await page.screenshot({ path: "/tmp/sched-scratch/admin-absences.png", fullPage: true });
  console.log(problems);
} finally { await browser.close(); await server.stop(); }
